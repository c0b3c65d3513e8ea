// SPDX-License-Identifier: MIT
#include "radio/sweep_timing.h"

#include "base/clock.h"

bool sweep_active(const RadioControl &rc)
{
    return rc.sweep_type != SweepType::Idle;
}

bool sweep_type_is(const RadioControl &rc, SweepType type)
{
    return rc.sweep_type == type;
}

bool sweep_expired(RadioControl &rc)
{
    // An infinite sweep starts with remaining_ms 0 and never expires.
    if (rc.sweep_type == SweepType::Idle || rc.remaining_ms == 0)
        return false;
    // Counted from the start of the sweep, not from the last hop.
    uint64_t elapsed = monotonic_ms() - rc.sweep_start_ms;
    if (elapsed >= rc.duration_ms) {
        rc.remaining_ms = 0;
        return true;
    }
    rc.remaining_ms = rc.duration_ms - static_cast<uint32_t>(elapsed);
    return false;
}

bool sweep_finished(const RadioControl &rc)
{
    return rc.sweep_type != SweepType::Idle && rc.duration_ms != 0 && rc.remaining_ms == 0;
}

bool hop_due(const RadioControl &rc)
{
    return rc.sweep_type != SweepType::Idle && rc.channel_count != 0 &&
           monotonic_ms() - rc.last_hop_ms >= rc.dwell_ms;
}
