// SPDX-License-Identifier: MIT
#include "capture/bin_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace
{

constexpr char DIGIT_PAIRS[] = "00010203040506070809"
                               "10111213141516171819"
                               "20212223242526272829"
                               "30313233343536373839"
                               "40414243444546474849"
                               "50515253545556575859"
                               "60616263646566676869"
                               "70717273747576777879"
                               "80818283848586878889"
                               "90919293949596979899";

// The two digits of n (0 to 99).
inline const char *digit_pair(unsigned n)
{
    return DIGIT_PAIRS + size_t{2} * n;
}

// Below 2^52, adding and removing 2^52 rounds a double to an integer in the
// current rounding mode, which is what printf applies to the exact value.
constexpr double ROUNDING_BIAS = 4503599627370496.0;

// Magnitudes of 2^52 / 100 and more, NaN and the infinities: rare enough
// for snprintf. A cut text would lose digits or end in a bare point, and
// "nan" or "inf" would make the line invalid JSON.
size_t format_slow(float value, char *out)
{
    if (!std::isfinite(value)) {
        // JSON's null, as bytes: out is a range, not a string.
        constexpr std::string_view null_text = "null";
        std::copy(null_text.begin(), null_text.end(), out);
        return null_text.size();
    }
    char buffer[BIN_TEXT_MAX + 1];
    int n = snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(value));
    size_t length = n < 0 ? 0 : static_cast<size_t>(n);
    if (length > BIN_TEXT_MAX) // cannot happen for a float; never overrun out
        length = BIN_TEXT_MAX;
    memcpy(out, buffer, length);
    return length;
}

inline size_t format_fast(float value, char *out)
{
    // A float has 24 significant bits and 100 needs 7, so the product is
    // exact in a double: rounding it once rounds the true decimal value.
    double scaled = std::fabs(static_cast<double>(value) * 100.0);
    if (!(scaled < ROUNDING_BIAS))
        return format_slow(value, out);
    uint64_t hundredths = static_cast<uint64_t>((scaled + ROUNDING_BIAS) - ROUNDING_BIAS);
    // printf keeps the sign of negative values that round to zero (and of
    // negative zero): "-0.00".
    bool negative = std::signbit(value);

    if (hundredths < 100000) {
        // Below 1000 in magnitude, where every dBm value lies: no loop.
        auto h = static_cast<unsigned>(hundredths);
        unsigned whole = h / 100, fraction = h % 100;
        char *p = out;
        if (negative)
            *p++ = '-';
        if (whole >= 100) {
            *p++ = static_cast<char>('0' + whole / 100);
            memcpy(p, digit_pair(whole % 100), 2);
            p += 2;
        } else if (whole >= 10) {
            memcpy(p, digit_pair(whole), 2);
            p += 2;
        } else {
            *p++ = static_cast<char>('0' + whole);
        }
        *p++ = '.';
        memcpy(p, digit_pair(fraction), 2);
        return static_cast<size_t>(p + 2 - out);
    }

    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    uint64_t whole = hundredths / 100;
    unsigned fraction = static_cast<unsigned>(hundredths % 100);
    p -= 2;
    memcpy(p, digit_pair(fraction), 2);
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (negative)
        *--p = '-';
    size_t length = static_cast<size_t>(end - p);
    memcpy(out, p, length);
    return length;
}

} // namespace

size_t format_bin_text(float value, char *out)
{
    return format_fast(value, out);
}

size_t format_bin_array(const float *values, size_t count, char *out)
{
    char *p = out;
    *p++ = '[';
    for (size_t j = 0; j < count; ++j) {
        if (j != 0)
            *p++ = ',';
        p += format_fast(values[j], p);
    }
    *p++ = ']';
    return static_cast<size_t>(p - out);
}
