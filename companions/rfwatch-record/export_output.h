// SPDX-License-Identifier: MIT
// What the exports share about the files they write.
#pragma once

#include <cstdint>
#include <string>

// Whether path names the same file as in (an export must never truncate
// its own input).
bool same_file(const char *in, const char *path);
// "YYYY-MM-DD", "HH:MM:SS" of a time in microseconds since the epoch, UTC.
std::string utc_text(uint64_t time_us, const char *format);
// The text of errno after what, e.g. "out.csv: No space left on device".
std::string errno_text(const std::string &what);
