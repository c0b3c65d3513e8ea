// The bearer token a scraper must present when one is configured: read from
// a file (Prometheus reads the same file through credentials_file), never
// taken from the command line.
#pragma once

#include <string>
#include <string_view>

namespace airtally_exporter
{

// The file's content with surrounding whitespace trimmed; an empty or
// unreadable file, or a token with inner whitespace or control characters
// (it could not travel in a header), is refused with error saying why.
bool token_read(const char *path, std::string &token, std::string &error);

// authorization: the Authorization header's value. The scheme is matched
// without regard to case, as HTTP says; the token exactly, in time that
// does not depend on where it differs.
bool bearer_accepted(std::string_view authorization, std::string_view token);

} // namespace airtally_exporter
