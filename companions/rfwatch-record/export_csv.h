// SPDX-License-Identifier: MIT
// CSV in rtl_power's form, one row per spectrum line:
//   date, time, Hz low, Hz high, Hz step, samples, dB, dB, ...
// date and time in UTC (the lines of a sweep share its first line's time),
// samples the line's num_aggregated, a null bin an empty field.
#pragma once

#include "export_sweep.h"
#include "sample_line.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct CsvExport {
    FILE *file = nullptr;
    bool owned = false; // false for standard output
    SweepClock clock;
    std::string row; // reused
};

// The row (with its "\n") of a line whose row time is time_us.
void csv_row(const SpectrumLine &line, uint64_t time_us, std::string &out);

// out "-" is standard output; an existing out must be a regular file other
// than in (it is overwritten). false: error says why.
bool csv_open(CsvExport &csv, const char *in, const char *out, std::string &error);
void csv_spectrum(CsvExport &csv, const SpectrumLine &line, uint64_t arrived_us);
// The daemon went away and came back: no sweep spans that.
void csv_break(CsvExport &csv);
// false when anything failed to be written (error says why).
bool csv_close(CsvExport &csv, std::string &error);
