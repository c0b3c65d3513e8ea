// SPDX-License-Identifier: MIT
// The reports' timestamps on one time line. A step back or one of more than
// 10 s is a TSF reset or a jump, not elapsed air time: counting it would
// age every signal by minutes, so the line goes on by one report interval.
#include "air/air_report.h"

uint64_t air_clock_advance(AirClock &clock, uint64_t raw, bool wraps_32)
{
    if (wraps_32)
        raw &= 0xffffffffu;
    if (!clock.started) {
        clock.started = true;
        clock.last_raw = raw;
        clock.now_us = raw;
        clock.step_us = AIR_CLOCK_FIRST_STEP_US;
        return clock.now_us;
    }
    // 32-bit stamps step modulo 2^32, so a wrap is an ordinary step and a
    // reset shows up as a step of nearly 71 minutes.
    const bool back = !wraps_32 && raw < clock.last_raw;
    const uint64_t step = wraps_32 ? ((raw - clock.last_raw) & 0xffffffffu) : raw - clock.last_raw;
    if (back || step > AIR_CLOCK_MAX_STEP_US) {
        clock.now_us += clock.step_us;
    } else {
        clock.now_us += step;
        if (step > 0)
            clock.step_us = step;
    }
    clock.last_raw = raw;
    return clock.now_us;
}
