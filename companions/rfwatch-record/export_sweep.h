// SPDX-License-Identifier: MIT
// The time a CSV row carries: the lines of one sweep share the time of its
// first line, as rows of one scan do in rtl_power's form. A sweep is a run
// of lines whose centre frequencies are all different; a frequency seen
// again begins the next one.
#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

// Longer than the daemon's longest sweep dwell (60 s): lines further apart
// are not one sweep, whatever their frequencies.
constexpr uint64_t SWEEP_MAX_GAP_US = 65000000;

struct SweepClock {
    std::bitset<65536> in_group;   // centre frequencies (MHz) of the open group
    std::vector<uint16_t> members; // the same, to clear them cheaply
    uint64_t group_time_us = 0;
    uint64_t last_time_us = 0;
};

// The time of the row of a line centred at freq_mhz that arrived at time_us.
uint64_t sweep_clock_time(SweepClock &clock, uint16_t freq_mhz, uint64_t time_us);
// Ends the open group (the daemon went away: what follows is a new stream).
void sweep_clock_break(SweepClock &clock);
