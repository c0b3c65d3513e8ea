// SPDX-License-Identifier: MIT
// A frequency hopper (Bluetooth and its kin) is one signal for the whole
// family of its 1-2 MHz blips: each report shows it, if at all, somewhere
// else. Until one is known, each blip starts a narrow signal of its own;
// when several young narrow signals have each been on only a few times, they
// are one hopper's positions and are folded into one family signal.
#pragma once

#include "air/air_signal.h"

// Index of the hopper family signal, or -1.
int air_hopper_find(const AirTracker &tracker);
// Notes a blip of the family at mhz (capture's lower edge low_mhz).
void air_hopper_note(AirTracker &tracker, float low_mhz, float mhz);
// Whether a blip at mhz is a fixed source the family took in when it
// formed: one position hit far more often than a hopper's even spread.
bool air_hopper_stands_out(const AirTracker &tracker, float low_mhz, float mhz);
// Forgets a position that a fixed source was found at (it has a signal of
// its own from now on).
void air_hopper_release(AirTracker &tracker, float low_mhz, float mhz);
// The positions seen, leaving out those that stand out and
// strays seen far less often than the rest: how many, and
// the MHz they span. Worked out again only when the hits have changed.
struct AirHopSpan {
    uint32_t positions;
    float lo_mhz, hi_mhz;
};
AirHopSpan air_hopper_span(AirTracker &tracker, float low_mhz);
// Folds young, rarely-on narrow signals into a family once there are enough.
void air_hopper_consolidate(AirTracker &tracker, const AirReport &report);
