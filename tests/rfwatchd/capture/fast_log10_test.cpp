// SPDX-License-Identifier: MIT
// The decoder's inline logarithm: accuracy and monotonicity over every
// mantissa of [1, 2), where the polynomial's error is decided, and over a
// stride of mantissas at every binary exponent a report can produce, where
// adding the exponent rounds the result more coarsely.
#include "capture/fast_log10.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>

namespace
{

constexpr uint32_t MANTISSAS = 1u << 23;
// Odd, so the tested mantissas differ in their low bits from one exponent
// to the next; about 8000 per exponent keeps the test fast under qemu.
constexpr uint32_t MANTISSA_STRIDE = 1021;

// Highest binary exponent of a logarithm's argument: a magnitude is at
// least 1 (byte 1, factor 1, exponent 0) and the largest value is the
// energy of 512 bins of byte 255 at the largest gain factor sqrt(10^2.3)
// and the largest positive scale 2^30: just under 2^93, so 92.
int max_exponent()
{
    double magnitude = 255.0 * std::sqrt(std::pow(10.0, 2.3)) * std::ldexp(1.0, 30);
    return std::ilogb(512.0 * magnitude * magnitude);
}

float make_float(int exponent, uint32_t mantissa)
{
    return std::bit_cast<float>((static_cast<uint32_t>(exponent + 127) << 23) | mantissa);
}

// Calls visit on increasing values: every exponent from 0 to max_exponent(),
// at each the mantissas 0, MANTISSA_STRIDE, ... and the last one, so
// consecutive calls also straddle every power of two.
template <typename Visit> void for_each_strided_value(Visit visit)
{
    for (int e = 0; e <= max_exponent(); ++e) {
        for (uint32_t m = 0; m < MANTISSAS; m += MANTISSA_STRIDE)
            visit(make_float(e, m));
        visit(make_float(e, MANTISSAS - 1));
    }
}

double error_of(float x)
{
    return std::fabs(static_cast<double>(fast_log10(x)) - std::log10(double{x}));
}

} // namespace

TEST(FastLog10, WithinOneTenThousandthOfLog10)
{
    double worst = 0.0;
    for (uint32_t m = 0; m < MANTISSAS; ++m)
        worst = std::max(worst, error_of(make_float(0, m)));
    EXPECT_LT(worst, 1e-4) << "mantissas of [1, 2)";

    worst = 0.0;
    float worst_at = 0.0f;
    size_t tested = 0;
    for_each_strided_value([&](float x) {
        double error = error_of(x);
        if (error > worst) {
            worst = error;
            worst_at = x;
        }
        ++tested;
    });
    EXPECT_LT(worst, 1e-4) << "at " << worst_at;
    EXPECT_GT(tested, size_t{93} * 8000);
}

TEST(FastLog10, NeverDecreases)
{
    float previous = fast_log10(1.0f);
    for (uint32_t m = 1; m < MANTISSAS; ++m) {
        float x = make_float(0, m);
        float value = fast_log10(x);
        ASSERT_GE(value, previous) << x;
        previous = value;
    }

    // The first decrease only, so a broken build reports one line.
    float first_drop = 0.0f;
    previous = -1.0f;
    for_each_strided_value([&](float x) {
        float value = fast_log10(x);
        if (value < previous && first_drop == 0.0f)
            first_drop = x;
        previous = value;
    });
    EXPECT_EQ(first_drop, 0.0f) << "decreases at " << first_drop;

    // Across each power of two: the largest float below it and the power.
    for (int e = -125; e < 127; ++e) {
        float power = std::ldexp(1.0f, e);
        float below = std::nextafter(power, 0.0f);
        ASSERT_LE(fast_log10(below), fast_log10(power)) << e;
    }
}
