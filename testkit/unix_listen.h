// SPDX-License-Identifier: MIT
// A listening Unix stream socket at a path, as the stand-in daemons bind
// theirs (a file left at the path by an earlier run is replaced).
#pragma once

#include <string>

namespace wdtest
{

// The listening descriptor (close-on-exec), or -1 with the reason in why.
int listen_unix_stream(const std::string &path, std::string *why = nullptr);

} // namespace wdtest
