// SPDX-License-Identifier: MIT
// The signals seen at one centre frequency, and how they are named: each
// tracked emitter with its class, where it is, how strong, how often on,
// and the evidence that named it.
#pragma once

#include "air/air_report.h"

#include <cstddef>
#include <cstdint>

constexpr size_t AIR_MAX_SIGNALS = 12;

enum class AirClass : uint8_t { Unknown, Wifi, Microwave, Hopper, Narrowband, Continuous, Pulsed };
// "unknown", "wifi", "microwave", "hopper", "narrowband", "continuous", "pulsed".
const char *air_class_name(AirClass cls);

struct AirSignal {
    uint32_t id; // 0: slot free; otherwise unique in the engine's life
    AirClass cls;
    float confidence; // 0 to 1
    float mhz;        // centre
    float width_mhz;
    float dbm;                     // level at its peak, as the spectrum shows it
    uint64_t first_seen_us;        // unwrapped
    uint64_t first_seen_timestamp; // the report's own, driver units
    uint64_t on_reports;           // cumulative: reports in which it was on
    // Evidence, 0 where the class has none.
    float period_ms; // mains-locked: the cycle it follows
    uint32_t hops;   // hopper: distinct positions seen
    float burst_ms;  // mean length of an on-burst
    // The tracker's own working state (the features it accumulates)
    // follows, as members of its choosing.
    bool family;           // a hopper: every unmatched blip is one of its positions
    bool on;               // on in the latest report
    AirClass pending;      // the class the evidence points to, before it is settled
    uint8_t pending_runs;  // classifications in a row that named pending
    uint64_t first_report; // the frequency's report count when first seen
    uint64_t updates;      // reports taken since first seen
    uint64_t last_on_us, last_off_us, run_start_us;
    float env_lo, env_hi; // the extent it has been on in lately (MHz): a wandering source's span
    float duty_ema;       // recent share of reports it was on in
    float top_width_ema;  // width within 12 dB of its peak, while on
    float ref_mhz;        // its first centre: what centre_sq_ema is taken about
    float centre_ema, centre_sq_ema; // where it sits, and how much it moves
    float burst_sum_ms;
    uint32_t bursts;
    // On-state folded by the report time's phase in a 20 ms and a 16.667 ms
    // mains cycle: on counts and all counts, decayed so that a drifting mains
    // phase is forgotten.
    float phase_on[2][8], phase_all[2][8];
};

struct AirTracker {
    AirSignal signals[AIR_MAX_SIGNALS];
    // The tracker's own per-frequency state follows, as members of its
    // choosing (e.g. what a hopper's blips have shown).
    uint32_t hop_positions[8]; // a bit per MHz above the capture's lower edge
    uint16_t hop_hits[256];    // blips seen at each of those positions
    // Kept with hop_hits so that neither a blip nor a report walks all 256
    // positions: their sum, how many are non-zero (those hop_positions
    // marks), and the span they last gave, worked out again only once the
    // hits have changed.
    uint32_t hop_total, hop_used;
    bool hop_span_stale;
    uint16_t hop_span_positions, hop_span_first, hop_span_last;
    uint64_t reports; // taken since reset
};

void air_tracker_reset(AirTracker &tracker);
// One report: matches its segments to the signals, updates their features,
// (re)names them, starts new ones and retires those gone for long enough.
void air_tracker_update(AirTracker &tracker, const AirReport &report, uint32_t &next_id);
