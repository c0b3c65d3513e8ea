// SPDX-License-Identifier: MIT
// What the engine hands a frequency's tracker for every report: the report
// in dBm, the floor and threshold it was judged against, and the runs of
// busy bins. Also the clock that puts reports on one time line.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t AIR_MAX_SEGMENTS = 16;

// A run of bins at or above the busy threshold (gaps of one bin are bridged).
struct AirSegment {
    uint16_t first_bin, last_bin; // inclusive
    float peak_dbm;
    uint16_t peak_bin;
};

struct AirReport {
    uint64_t time_us;        // unwrapped, see AirClock
    uint64_t timestamp;      // the report's own, driver units
    uint16_t freq_mhz;       // centre of the capture
    uint16_t bandwidth_mhz;
    uint16_t bin_count;
    float low_mhz;           // lower edge of bin 0
    float mhz_per_bin;       // bin j covers [low + j*w, low + (j+1)*w)
    const float *dbm;        // bin_count values
    float noise_floor_dbm;
    float threshold_dbm;     // floor + margin
    const uint32_t *busy;    // per bin, cumulative at-or-above counts (this report included)
    uint64_t reports;        // of this frequency, this report included
    AirSegment segments[AIR_MAX_SEGMENTS]; // strongest kept when there are more
    uint8_t segment_count;
};

// The drivers' timestamps in µs on one 64-bit time line: ath11k's are 32
// bits and wrap every 71 minutes; a TSF that jumps back (a reset) or far
// ahead starts a new epoch instead of a huge gap.
struct AirClock {
    bool started;
    uint64_t last_raw;
    uint64_t now_us;
    uint64_t step_us; // the last ordinary step: what a new epoch advances by
};
// A step longer than this is not time that passed but a new epoch.
constexpr uint64_t AIR_CLOCK_MAX_STEP_US = 10'000'000;
// Taken as the report interval until one ordinary step has been seen.
constexpr uint64_t AIR_CLOCK_FIRST_STEP_US = 1000;
uint64_t air_clock_advance(AirClock &clock, uint64_t raw, bool wraps_32);
