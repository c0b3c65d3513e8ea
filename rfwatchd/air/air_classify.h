// SPDX-License-Identifier: MIT
// Naming a signal from what the tracker has accumulated about it.
#pragma once

#include "air/air_signal.h"

struct AirVerdict {
    AirClass cls;
    float confidence;
    float period_ms; // the mains cycle it follows, when it does
};

// Reports a signal must have been tracked through before it is named; the
// phase contrast needs about this many to stand clear of chance.
constexpr uint64_t AIR_NAME_AFTER_REPORTS = 100;
// And been on in this many: a stray blip is not a narrowband source.
constexpr uint64_t AIR_NAME_AFTER_ON = 8;

// How far (relative) a width is from the nearest OFDM top, 16.5, 35 or
// 75 MHz; below AIR_WIFI_WIDTH_MISS it has a Wi-Fi channel's shape.
// Inline: the tracker asks it of every wide signal in every report.
inline float air_wifi_width_miss(float top_width_mhz)
{
    constexpr float TOPS[] = {16.5f, 35.0f, 75.0f};
    float fit = 1;
    for (float top : TOPS) {
        float miss = (top_width_mhz - top) / top;
        miss = miss < 0 ? -miss : miss;
        fit = miss < fit ? miss : fit;
    }
    return fit;
}
constexpr float AIR_WIFI_WIDTH_MISS = 0.2f;

// What the evidence says now (no memory of earlier verdicts).
AirVerdict air_classify(const AirSignal &signal, uint32_t hops);
// Takes a verdict into the signal: a new class only after it was named
// several times in a row, so one odd stretch does not flip a label.
void air_classify_settle(AirSignal &signal, const AirVerdict &verdict);
