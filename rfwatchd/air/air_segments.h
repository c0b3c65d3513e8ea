// SPDX-License-Identifier: MIT
// The runs of busy bins in one report, which the tracker matches to signals.
#pragma once

#include "air/air_report.h"
#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>

// Words of busy bits a report needs: bin j is bit j % 64 of word j / 64.
constexpr size_t AIR_BUSY_WORDS = (MAX_SPECTRAL_BINS + 63) / 64;

// Packs busy[0..n) (each 0 or 1) into bits[0..(n + 63) / 64), bits past n clear.
void air_pack_busy(const uint8_t *busy, size_t n, uint64_t *bits);
// Busy bins among first..last (inclusive).
unsigned air_count_busy(const uint64_t *bits, size_t first, size_t last);

// Writes the runs of busy bins to out (at most AIR_MAX_SEGMENTS, the
// strongest by peak dbm, in bin order) and returns how many. A single
// quiet bin inside a run does not split it: one signal's spectrum dips
// between subcarriers or is cut by a bin's jitter.
size_t air_find_segments_in_bits(const uint64_t *bits, const float *dbm, size_t n, AirSegment *out);
// The same from one flag (0 or 1) per bin.
size_t air_find_segments(const uint8_t *busy, const float *dbm, size_t n, AirSegment *out);
