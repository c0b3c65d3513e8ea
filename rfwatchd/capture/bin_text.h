// The "%.2f" texts of the bins of a JSON sample message, produced without
// printf: formatting 512 bins with snprintf costs most of a message.
#pragma once

#include <cstddef>

// Longest text of one bin: the reference's 30-byte buffer less its
// terminator.
constexpr size_t BIN_TEXT_MAX = 29;

// Writes exactly what snprintf(buffer, 30, "%.2f", value) leaves in its
// buffer (without the terminator) and returns its length.
size_t format_bin_text(float value, char *out);

// Writes "[t0,t1,...]" for the first count values, the texts as
// format_bin_text makes them; out needs count * (BIN_TEXT_MAX + 1) + 2
// bytes. Returns the length written (no terminator).
size_t format_bin_array(const float *values, size_t count, char *out);
