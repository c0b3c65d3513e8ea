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
// The tracked floor after one percentile: falls fast (a quieter report is
// evidence the floor is lower), rises slowly (a louder one may be a signal).
float air_floor_track(float floor, float report_floor);
// The floor after a frequency's report, given the reports it had before:
// the first report's percentile, then tracked every AIR_FLOOR_EVERY-th.
float air_floor_next(float floor, uint64_t reports_before, const float *dbm, size_t bins);
