// The runs of busy bins in one report, which the tracker matches to signals.
#pragma once

#include "air/air_report.h"

#include <cstddef>
#include <cstdint>

// Writes the runs of bins whose busy[j] is 1 to out (at most
// AIR_MAX_SEGMENTS, the strongest by peak dbm, in bin order) and returns
// how many. A single quiet bin inside a run does not split it: one
// signal's spectrum dips between subcarriers or is cut by a bin's jitter.
size_t air_find_segments(const uint8_t *busy, const float *dbm, size_t n, AirSegment *out);
