// SPDX-License-Identifier: MIT
// The "%.2f" texts of the bins of a JSON sample message, produced without
// printf: formatting 512 bins with snprintf costs most of a message.
#pragma once

#include <cstddef>

// Longest text of one bin: -FLT_MAX has 39 digits before the point, so
// "-" + 39 digits + ".00".
constexpr size_t BIN_TEXT_MAX = 43;

// Writes the JSON text of one bin (without a terminator) and returns its
// length: for a finite value exactly what snprintf's "%.2f" gives, in full;
// null for NaN and the infinities, which JSON has no number for.
size_t format_bin_text(float value, char *out);

// Writes "[t0,t1,...]" for the first count values, the texts as
// format_bin_text makes them; out needs count * (BIN_TEXT_MAX + 1) + 2
// bytes. Returns the length written (no terminator).
size_t format_bin_array(const float *values, size_t count, char *out);
