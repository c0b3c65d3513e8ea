// The decoder's inline logarithm: accuracy and monotonicity, checked over
// every mantissa (the mantissa grid repeats for every exponent).
#include "capture/fast_log10.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>

TEST(FastLog10, WithinOneTenThousandthOfLog10ForEveryMantissa)
{
    double worst = 0.0;
    for (uint32_t mantissa = 0; mantissa < (1u << 23); ++mantissa) {
        for (uint32_t exponent : {127u, 127u + 40u}) { // [1, 2) and [2^40, 2^41)
            float x = std::bit_cast<float>((exponent << 23) | mantissa);
            double error = std::fabs(static_cast<double>(fast_log10(x)) - std::log10(double{x}));
            worst = std::max(worst, error);
        }
    }
    EXPECT_LT(worst, 1e-4);
}

TEST(FastLog10, NeverDecreases)
{
    float previous = fast_log10(1.0f);
    for (uint32_t mantissa = 1; mantissa < (1u << 23); ++mantissa) {
        float x = std::bit_cast<float>((127u << 23) | mantissa);
        float value = fast_log10(x);
        ASSERT_GE(value, previous) << x;
        previous = value;
    }
    // Across each power of two: the largest float below it and the power.
    for (int e = -125; e < 127; ++e) {
        float power = std::ldexp(1.0f, e);
        float below = std::nextafter(power, 0.0f);
        ASSERT_LE(fast_log10(below), fast_log10(power)) << e;
    }
}
