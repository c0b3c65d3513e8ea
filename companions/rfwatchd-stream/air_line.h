// SPDX-License-Identifier: MIT
// One rfwatchd air line ({"air":1,...}), parsed strictly into a record:
// what rfwatch-web, rfwatch-mqtt, rfwatch-view and airtally-exporter read
// from it. The daemon's air_write_lines is the other end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// As many as rfwatchd lists for one capture: all 14 of 2.4 GHz.
constexpr size_t AIR_LINE_MAX_CHANNELS = 14;
constexpr size_t AIR_LINE_MAX_SIGNALS = 12;
// The longest class or driver name taken; a longer one refuses the line.
constexpr size_t AIR_LINE_MAX_NAME = 24;

struct AirLineChannel {
    uint16_t channel;
    uint16_t mhz;
    double utilisation; // 0 to 1
    int quality;        // 0 to 100
};

struct AirLineSignal {
    std::string cls; // "wifi", "microwave", ... (an unknown name is kept, not refused)
    double mhz;
    double width_mhz;
    double dbm;
    double duty;       // 0 to 1
    double confidence; // 0 to 1
    uint64_t first_seen;
    uint64_t age_ms;
    double period_ms; // 0 when absent
    uint32_t hops;    // 0 when absent
    double burst_ms;  // 0 when absent
};

struct AirLine {
    std::string driver;
    uint16_t freq_mhz;
    uint16_t bandwidth_mhz;
    uint64_t timestamp;
    uint32_t window_ms;
    uint64_t reports;
    double noise_floor_dbm;
    double busy_threshold_dbm;
    size_t channel_count;
    AirLineChannel channels[AIR_LINE_MAX_CHANNELS];
    size_t signal_count;
    AirLineSignal signals[AIR_LINE_MAX_SIGNALS];
};

// Whether a line is an air line at all (its first member is "air"): the
// cheap test a reader makes before choosing a parser.
bool is_air_line(std::string_view line);
// false unless line is one JSON object with "air":1 and every member the
// daemon writes, of the right kind and range (members it does not know
// are let be, for a newer daemon); out is then unspecified.
bool parse_air_line(std::string_view line, AirLine &out);
// The lowest channel quality of the line, 100 when it has none.
int air_line_worst_quality(const AirLine &line);
