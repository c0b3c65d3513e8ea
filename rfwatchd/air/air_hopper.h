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
// Distinct positions seen.
uint32_t air_hopper_positions(const AirTracker &tracker);
// Folds young, rarely-on narrow signals into a family once there are enough.
void air_hopper_consolidate(AirTracker &tracker, const AirReport &report);
