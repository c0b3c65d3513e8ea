// SPDX-License-Identifier: MIT
// The view's air line: the latest air line of each centre frequency, told
// as one line of text (the channels, worst quality first, and the strongest
// named signal that is not Wi-Fi).
#pragma once

#include "air_line.h"

#include <string>

// More centre frequencies than a sweep of one band visits at once.
constexpr size_t AIR_STATUS_MAX_FREQS = 16;

struct AirStatus {
    AirLine lines[AIR_STATUS_MAX_FREQS];
    double received_s[AIR_STATUS_MAX_FREQS]; // when each arrived, on the caller's clock
    size_t count;
};

// Keeps line as its frequency's latest (the oldest frequency makes room).
void air_status_add(AirStatus &s, const AirLine &line, double now_s);
// "air: ch 6 12% q 95<sep>ch 11 ... <sep>microwave 2450 MHz -50 dBm 50% (20.0 ms)",
// at most width columns (the signal kept, channels left out from the end),
// or "air: waiting" while no line is recent: a frequency whose latest line
// is three of its windows old (at least 3 s) is gone from the air.
std::string air_status_text(const AirStatus &s, double now_s, int width, const char *sep);
