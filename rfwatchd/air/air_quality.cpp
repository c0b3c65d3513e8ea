// SPDX-License-Identifier: MIT
#include "air/air_quality.h"

namespace
{

// clip to [0, 1]; NaN counts as 0 so that a bad figure cannot raise quality.
float unit(float x)
{
    return x >= 0 ? (x <= 1 ? x : 1) : 0;
}

} // namespace

float air_signal_weight(AirClass cls, float duty, float dbm)
{
    if (cls == AirClass::Wifi)
        return 0;
    return unit(duty) * unit((dbm + 90.0f) / 30.0f);
}

int air_quality(const float *weights, size_t count)
{
    float sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += weights[i] >= 0 ? weights[i] : 0;
    // Rounded half up, in thousandths so that 0.5 of a point is exact.
    const auto thousandths = static_cast<int>(1000.0f * (1.0f - unit(sum)));
    return (thousandths + 5) / 10;
}
