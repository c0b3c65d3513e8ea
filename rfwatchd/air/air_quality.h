// SPDX-License-Identifier: MIT
// A channel's air quality, 0 (unusable) to 100 (clear): how much of the
// time non-Wi-Fi signals strong enough to matter take from it.
#pragma once

#include "air/air_signal.h"

#include <cstddef>

// A signal's share of a channel: duty * clip((dBm + 90) / 30, 0, 1) for
// all but Wi-Fi (which shares the air by the rules); never negative.
float air_signal_weight(AirClass cls, float duty, float dbm);
// round(100 * (1 - min(1, sum of the weights))).
int air_quality(const float *weights, size_t count);
