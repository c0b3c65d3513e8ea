// The monotonic millisecond clock the sweep times are kept in. It reads the
// same clock, in the same units, as the daemon's main loop, so the times the
// daemon compares with these fields agree.
#pragma once

#include <cstdint>

// Seconds x 1000 + nanoseconds / 1000000 of CLOCK_MONOTONIC; 0 when the
// clock cannot be read.
uint64_t radio_clock_ms();
