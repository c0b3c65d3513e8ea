// SPDX-License-Identifier: MIT
// One rfwatchd spectrum line, parsed strictly into a record: what the
// binary frame (frame.h) and rfwatch-view's summary and views are made of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The most bins the daemon writes (an 80 MHz ath10k report has 512); a line
// with more is refused.
constexpr size_t LINE_MAX_BINS = 512;

struct SpectrumLine {
    uint8_t detector;
    uint16_t freq_mhz;
    uint16_t bandwidth_mhz;
    int16_t noise_dbm;
    uint16_t rssi;
    uint32_t num_aggregated;
    uint64_t timestamp;
    size_t n;                   // bins in the line (its bin_count is checked, not used)
    double bins[LINE_MAX_BINS]; // dBm; NaN where the daemon wrote null
};

// false unless line is one JSON object with every field a whole number that
// fits its type above, 1 to LINE_MAX_BINS bins each a number or null, and
// nothing after it; out is then unspecified.
bool parse_spectrum_line(std::string_view line, SpectrumLine &out);
