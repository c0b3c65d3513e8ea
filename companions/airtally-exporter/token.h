// SPDX-License-Identifier: MIT
// The bearer token a scraper must present when one is configured: read from
// a file (Prometheus reads the same file through credentials_file, see
// access_token.h for what the file must be), never taken from the command line.
#pragma once

#include <string_view>

namespace airtally_exporter
{

// authorization: the Authorization header's value. The scheme is matched
// without regard to case, as HTTP says; the token exactly, in time that
// does not depend on where it differs.
bool bearer_accepted(std::string_view authorization, std::string_view token);

} // namespace airtally_exporter
