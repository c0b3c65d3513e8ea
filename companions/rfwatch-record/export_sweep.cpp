// SPDX-License-Identifier: MIT
#include "export_sweep.h"

void sweep_clock_break(SweepClock &clock)
{
    for (uint16_t f : clock.members)
        clock.in_group.reset(f);
    clock.members.clear();
}

uint64_t sweep_clock_time(SweepClock &clock, uint16_t freq_mhz, uint64_t time_us)
{
    // The clock may step back (the recorder's is CLOCK_REALTIME): only a
    // forward gap can be too long.
    const bool too_late =
        time_us > clock.last_time_us && time_us - clock.last_time_us > SWEEP_MAX_GAP_US;
    if (clock.members.empty() || clock.in_group.test(freq_mhz) || too_late) {
        sweep_clock_break(clock);
        clock.group_time_us = time_us;
    }
    clock.in_group.set(freq_mhz);
    clock.members.push_back(freq_mhz);
    clock.last_time_us = time_us;
    return clock.group_time_us;
}
