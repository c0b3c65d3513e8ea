// SPDX-License-Identifier: MIT
// Sweeps: the radio walks a channel list, dwell_ms on each, for a duration
// or until cancelled. The daemon's main loop drives them through the
// predicates of sweep_timing.h; nothing here owns a thread or a timer.
#pragma once

#include "radio/radio_control.h"
#include "radio/radio_error.h"

struct SweepRequest {
    SweepType type; // Active or Agile
    uint32_t from_mhz;
    uint32_t to_mhz;
    uint8_t whole_band;  // bit 0: the whole range of the detected band
    uint32_t step_mhz;   // agile: slice width and distance
    uint32_t duration_s; // 0: until cancelled; at most 4294967
    uint32_t dwell_ms;   // 5 to 60000
};

// Longest duration whose milliseconds fit duration_ms.
inline constexpr uint32_t MAX_SWEEP_DURATION_S = UINT32_MAX / 1000;

RadioError start_sweep(RadioControl &rc, const SweepRequest &request);
RadioError cancel_sweep(RadioControl &rc); // always Success
RadioError advance_sweep(RadioControl &rc);
