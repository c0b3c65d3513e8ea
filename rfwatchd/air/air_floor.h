// The noise floor at one centre frequency: a low percentile of each
// report's bins (so occupied bins do not lift it), tracked over time.
#pragma once

#include <cstddef>

// Share of a report's bins at or below its floor: signals may cover the
// rest (up to four fifths of the capture) without lifting it.
constexpr unsigned AIR_FLOOR_PERCENTILE = 20;

// The percentile of dbm[0..n), to half a dB, from a histogram (no sort).
float air_floor_percentile(const float *dbm, size_t n);
// The tracked floor after one report: falls fast (a quieter report is
// evidence the floor is lower), rises slowly (a louder one may be a signal).
float air_floor_track(float floor, float report_floor);
