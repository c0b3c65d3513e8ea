// SPDX-License-Identifier: MIT
#include "token.h"

#include "access_token.h"

#include <cctype>

namespace airtally_exporter
{

bool bearer_accepted(std::string_view authorization, std::string_view token)
{
    constexpr std::string_view kScheme = "bearer ";
    if (authorization.size() < kScheme.size())
        return false;
    for (size_t i = 0; i < kScheme.size(); ++i)
        if (tolower(static_cast<unsigned char>(authorization[i])) != kScheme[i])
            return false;
    return token_equal(trim_blanks(authorization.substr(kScheme.size())), token);
}

} // namespace airtally_exporter
