// SPDX-License-Identifier: MIT
// The noise floor at one centre frequency: a low percentile of each
// report's bins (so occupied bins do not lift it), tracked over time.
#pragma once

#include <cstddef>
#include <cstdint>

// Share of a report's bins at or below its floor: signals may cover the
// rest (up to four fifths of the capture) without lifting it.
constexpr unsigned AIR_FLOOR_PERCENTILE = 20;

// The floor moves slowly, so a percentile every eighth report of a
// frequency tracks it as well as one every report, at an eighth of the cost.
constexpr unsigned AIR_FLOOR_EVERY = 8;

// The percentile of dbm[0..bins) (of 64 spread bins when there are more),
// from a histogram (no sort).
float air_floor_percentile(const float *dbm, size_t bins);
// A report's bins are magnitudes scaled to its strongest bin in 8 bits
// (ath10k's and ath11k's alike), so little more than this far below the
// peak can be told from zero: the noise under a strong signal decodes far
// too low, and a floor taken from it would make every bin of the next
// quiet report busy.
constexpr float AIR_FLOOR_RANGE_DB = 40.0f;
// The report's own floor: the percentile, but no lower than its strongest
// bin (all bins: a strong blip may fall between spread ones) less
// AIR_FLOOR_RANGE_DB.
float air_floor_report(const float *dbm, size_t n);
// The tracked floor after one report's floor: falls fast (a quieter report is
// evidence the floor is lower), rises slowly (a louder one may be a signal).
float air_floor_track(float floor, float report_floor);
// The floor after a frequency's report, given the reports it had before:
// the first report's floor, then tracked every AIR_FLOOR_EVERY-th.
float air_floor_next(float floor, uint64_t reports_before, const float *dbm, size_t bins);
