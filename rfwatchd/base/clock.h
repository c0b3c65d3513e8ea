// SPDX-License-Identifier: MIT
// The daemon's one time base: every window, time-out and dwell is measured
// in monotonic milliseconds so that wall-clock changes cannot stretch them.
#pragma once

#include <cstdint>

// Seconds * 1000 + nanoseconds / 1000000 of the monotonic clock, or 0 when
// the clock cannot be read.
uint64_t monotonic_ms();
