// SPDX-License-Identifier: MIT
// Per-frequency summary of the daemon's sample lines: what rfwatch-view
// shows once a second.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

constexpr int MAX_SUMMARY_ROWS = 512;

// A bin is null where the daemon had no finite value for it; such bins count
// in bin_count but not in the peak and the mean.
struct SampleLine {
    int detector;
    int freq_mhz;
    int bandwidth_mhz;
    long num_aggregated;
    int bin_count;
    int valued_bins; // bins with a number; peak and mean need at least one
    double peak_dbm; // largest bin
    double mean_dbm; // mean of the bins
};

struct SummaryRow {
    int detector;
    int freq_mhz;
    int bandwidth_mhz;
    long samples; // sum of num_aggregated
    long lines;
    long valued_lines; // lines with at least one valued bin
    double peak_dbm;   // of the valued lines
    double mean_sum;   // sum of the valued lines' means
};

struct Summary {
    SummaryRow rows[MAX_SUMMARY_ROWS]; // sorted by frequency, then detector
    int count;
    long lines;
    long bad_lines;
};

// false when text is not a spectrum line (parse_spectrum_line). With bins_out, also the bins in
// order, NaN where the daemon wrote null.
bool parse_sample_line(std::string_view text, SampleLine &out,
                       std::vector<float> *bins_out = nullptr);
void summary_add(Summary &s, const SampleLine &line);
void summary_clear(Summary &s);
// One block: a heading with the elapsed seconds, then a row per frequency.
void summary_print(const Summary &s, double elapsed_s, FILE *out);
