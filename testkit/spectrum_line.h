// SPDX-License-Identifier: MIT
// rfwatchd's JSON spectrum line, built the one way the tests, the
// benchmarks and the stand-in daemon need it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wdtest
{

struct SpectrumLine {
    int detector = 0;
    int freq_mhz = 5180;
    int bandwidth_mhz = 20;
    int noise_dbm = -95;
    unsigned rssi = 40;
    uint64_t timestamp = 1;
    uint32_t num_aggregated = 5;
    std::vector<double> bins; // a value that is not finite is written null
};

// The line as rfwatchd writes it ("%.2f" bins, bin_count the number of
// bins), without its line feed.
std::string spectrum_line(const SpectrumLine &line);

// n bins of a fixed noise floor, -95.12 rising by 0.25 a bin.
std::vector<double> ramp_bins(size_t n);

} // namespace wdtest
