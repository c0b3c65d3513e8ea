// SPDX-License-Identifier: MIT
// rfwatchd's JSON air line, built the one way the tests and the stand-in
// daemon need it (the daemon's own member order and number formats).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wdtest
{

struct AirChannelText {
    int channel = 6;
    int mhz = 2437;
    double utilisation = 0;
    int quality = 100;
};

struct AirSignalText {
    std::string cls = "wifi";
    double mhz = 2437, width_mhz = 16.5, dbm = -60, duty = 0.1, confidence = 0.9;
    uint64_t first_seen = 1;
    uint64_t age_ms = 0;
    double period_ms = 0; // 0: not written
    unsigned hops = 0;    // 0: not written
    double burst_ms = 0;  // 0: not written
};

struct AirLineText {
    std::string driver = "ath11k";
    int freq_mhz = 2437;
    int bandwidth_mhz = 20;
    uint64_t timestamp = 1;
    uint32_t window_ms = 1000;
    uint64_t reports = 200;
    double noise_floor_dbm = -95, busy_threshold_dbm = -85;
    std::vector<AirChannelText> channels{AirChannelText{}};
    std::vector<AirSignalText> signals;
};

// Without its line feed.
std::string air_line(const AirLineText &line);

} // namespace wdtest
