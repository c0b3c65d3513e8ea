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
    float confidence;  // 0 to 1
    float mhz;         // centre
    float width_mhz;
    float dbm;         // level at its peak, as the spectrum shows it
    uint64_t first_seen_us;       // unwrapped
    uint64_t first_seen_timestamp; // the report's own, driver units
    uint64_t on_reports;           // cumulative: reports in which it was on
    // Evidence, 0 where the class has none.
    float period_ms;  // mains-locked: the cycle it follows
    uint32_t hops;    // hopper: distinct positions seen
    float burst_ms;   // mean length of an on-burst
    // The tracker's own working state (the features it accumulates)
    // follows, as members of its choosing.
};

struct AirTracker {
    AirSignal signals[AIR_MAX_SIGNALS];
    // The tracker's own per-frequency state follows, as members of its
    // choosing (e.g. what a hopper's blips have shown).
};

void air_tracker_reset(AirTracker &tracker);
// One report: matches its segments to the signals, updates their features,
// (re)names them, starts new ones and retires those gone for long enough.
void air_tracker_update(AirTracker &tracker, const AirReport &report, uint32_t &next_id);
