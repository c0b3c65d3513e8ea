// The runs of busy bins in one report, which the tracker matches to signals.
#pragma once

#include "air/air_report.h"

#include <cstddef>

// Writes the runs of bins at or above threshold to out (at most
// AIR_MAX_SEGMENTS, the strongest by peak, in bin order) and returns how
// many. A single quiet bin inside a run does not split it: one signal's
// spectrum dips between subcarriers or is cut by a bin's jitter.
size_t air_find_segments(const float *dbm, size_t n, float threshold, AirSegment *out);
