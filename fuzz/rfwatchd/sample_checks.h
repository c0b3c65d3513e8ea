// SPDX-License-Identifier: MIT
// What every decoded SpectralSample must satisfy, whichever road it took
// (a parser called directly or the sample source).
#pragma once

#include "capture/bin_text.h"
#include "capture/report_parser.h"
#include "capture/spectral_sample.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace wdfuzz
{

// "-?[0-9]+\.[0-9][0-9]": a JSON number with two decimals.
inline bool is_two_decimal_number(const char *text, size_t length)
{
    size_t i = text[0] == '-' ? 1 : 0;
    size_t digits = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    return digits > 0 && length == i + 3 && text[i] == '.' && text[i + 1] >= '0' &&
           text[i + 1] <= '9' && text[i + 2] >= '0' && text[i + 2] <= '9';
}

inline bool valid_bin_count(size_t n)
{
    return n >= 4 && n <= MAX_SPECTRAL_BINS && (n & (n - 1)) == 0;
}

// A decoded sample: its bin count is one a report can carry, every value
// is finite and goes into the JSON line as a two-decimal number.
inline void check_decoded_sample(const SpectralSample &s)
{
    FUZZ_CHECK(s.detector <= 1);
    FUZZ_CHECK(valid_bin_count(s.bin_count));
    char text[BIN_TEXT_MAX + 1];
    for (size_t j = 0; j < s.bin_count; ++j) {
        FUZZ_CHECK(std::isfinite(s.bins[j]));
        size_t n = format_bin_text(s.bins[j], text);
        FUZZ_CHECK(is_two_decimal_number(text, n));
    }
}

// Walks a range report by report as the sample source walks its buffer,
// until a call consumes nothing. Every call must keep consumed within the
// range and leave the sample untouched when it fails; check then sees the
// result, the range it was given, the sample and the consumed count.
template <typename Check>
void walk_reports(ReportParser parse, const uint8_t *data, size_t size, Check check)
{
    size_t pos = 0;
    while (pos < size) {
        const uint8_t *range = data + pos;
        size_t left = size - pos;
        SpectralSample sample, before;
        memset(&sample, 0x5a, sizeof sample);
        memcpy(&before, &sample, sizeof sample);
        size_t consumed = 12345;
        SourceError r = parse(range, left, sample, consumed);
        FUZZ_CHECK(consumed <= left);
        if (r != SourceError::Success)
            FUZZ_CHECK(memcmp(&sample, &before, sizeof sample) == 0);
        check(r, range, left, sample, consumed);
        if (consumed == 0)
            break; // an incomplete report: the source waits for more bytes
        pos += consumed;
    }
}

} // namespace wdfuzz
