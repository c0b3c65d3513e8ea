// SPDX-License-Identifier: MIT
// ath10k's spectrum lines carry raw FFT magnitudes; exports give dBm, by
// the same level rule as rfwatchd's air engine (rfwatchd(8), AIR LINES: levels).
// Re-stated here because a companion does not link the daemon's code.
#pragma once

#include "sample_line.h"

// Turns the line's magnitudes (0 to 255) into dBm in place; null bins stay
// null and take no share of the power.
void magnitudes_to_dbm(SpectrumLine &line);
