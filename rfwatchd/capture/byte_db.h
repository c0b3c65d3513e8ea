// SPDX-License-Identifier: MIT
// 20 log10 of every magnitude byte, worked out by the compiler: a report's
// bins then cost a table look-up each instead of a logarithm, and the table
// is exact to float rounding, so all of the decoder's error budget is left
// for the one logarithm per report that remains.
#pragma once

#include <cstdint>

struct ByteDb {
    float db[256]; // db[0] is 0 and means nothing: a zero byte is an empty bin
};

// Natural logarithm for x >= 1, in double: halve down to [1, 2), then
// ln m = 2 atanh((m - 1) / (m + 1)) with |z| <= 1/3, whose series has
// shrunk below 1e-28 by its 30th term. libm's log is not constexpr.
constexpr double exact_ln(double x)
{
    constexpr double LN2 = 0.6931471805599453094172321;
    int halvings = 0;
    while (x >= 2.0) {
        x /= 2.0;
        ++halvings;
    }
    double z = (x - 1.0) / (x + 1.0);
    double z2 = z * z, power = z, sum = 0.0;
    for (int k = 1; k < 60; k += 2) {
        sum += power / k;
        power *= z2;
    }
    return halvings * LN2 + 2.0 * sum;
}

constexpr ByteDb make_byte_db()
{
    constexpr double LN10 = 2.3025850929940456840179915;
    ByteDb table{};
    for (int b = 1; b < 256; ++b)
        table.db[b] = static_cast<float>(20.0 * exact_ln(b) / LN10);
    return table;
}

inline constexpr ByteDb BYTE_DB = make_byte_db();
