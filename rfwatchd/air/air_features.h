// SPDX-License-Identifier: MIT
// What the tracker accumulates about one signal from report to report: where
// it sits and how much it moves, how often it is on, how long its bursts
// last, and how its on-state lines up with the mains cycle.
#pragma once

#include "air/air_signal.h"

// What one report showed of one signal (the union of the blobs matched to it).
struct AirSighting {
    bool on;
    float lo_mhz, hi_mhz;         // busy extent
    float top_lo_mhz, top_hi_mhz; // within AIR_TOP_DB of the peak
    float peak_dbm;
    bool shaped; // false: on, but its extent says nothing of the signal's
};

// A top narrower than this is a blip or a narrowband source; wider, a wide one.
constexpr float AIR_NARROW_MHZ = 6.0f;
constexpr float AIR_TOP_DB = 12.0f;

enum AirMains : uint8_t { AIR_MAINS_50HZ, AIR_MAINS_60HZ };

// A fresh signal in a free slot, first seen in this report.
void air_features_start(AirSignal &signal, const AirReport &report, const AirSighting &seen,
                        uint32_t id);
// Every live signal takes every report, on or not (duty and phase need both).
void air_features_take(AirSignal &signal, const AirReport &report, const AirSighting &seen);

// How differently often it is on in one half of the mains cycle than in the
// other, at the best alignment: about 1 for a source locked to that cycle,
// near 0 otherwise. weight_out: the (decayed) reports the figure rests on.
float air_phase_contrast(const AirSignal &signal, AirMains mains, float *weight_out);
float air_mains_period_ms(AirMains mains);
// Standard deviation of its centre while on, MHz.
float air_centre_spread(const AirSignal &signal);
