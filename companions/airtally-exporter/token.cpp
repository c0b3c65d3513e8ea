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
    std::string_view given = authorization.substr(kScheme.size());
    while (!given.empty() && (given.front() == ' ' || given.front() == '\t'))
        given.remove_prefix(1);
    while (!given.empty() && (given.back() == ' ' || given.back() == '\t'))
        given.remove_suffix(1);
    return token_equal(given, token);
}

} // namespace airtally_exporter
