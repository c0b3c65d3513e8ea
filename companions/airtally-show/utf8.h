// SPDX-License-Identifier: MIT
// UTF-8 well-formedness for text that starts as arbitrary bytes (SSIDs):
// each companion's output format escapes what this does not accept.
#pragma once

#include <cstddef>
#include <string_view>

namespace airtally_names
{

// Length of the well-formed multi-byte UTF-8 sequence that starts `s`, or 0
// (also for ASCII, which callers handle before asking).
size_t utf8_length(std::string_view s);

} // namespace airtally_names
