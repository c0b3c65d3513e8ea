// SPDX-License-Identifier: MIT
// What the full-screen view shows: the latest line of each centre frequency
// (a sweep puts several side by side), their max-hold, and both reduced to
// one value per screen column over the frequency span.
#pragma once

#include "summary.h"

#include <span>
#include <vector>

// A sweep over the widest band holds well under this many centres; lines
// beyond it are dropped rather than growing without bound.
constexpr int MAX_TRACES = 256;
constexpr int MAX_TRACE_BINS = 4096;

struct Trace {
    int detector;
    int freq_mhz;
    int bandwidth_mhz;
    std::vector<float> bins;     // latest line; NaN where the daemon wrote null
    std::vector<float> max_hold; // per bin, since the last reset
};

struct TraceModel {
    std::vector<Trace> traces; // sorted by detector, then frequency
    int detector = -1;         // the one shown; -1 until the first line
};

struct FreqSpan {
    double from_mhz = 0;
    double to_mhz = 0;
    bool empty() const { return !(to_mhz > from_mhz); }
};

struct Peak {
    bool found = false;
    double freq_mhz = 0; // centre of the bin
    double dbm = 0;
};

// Keeps the line as its centre frequency's latest; false when it was dropped
// (no bins, too many bins or too many centres).
bool model_add(TraceModel &m, const SampleLine &line, std::span<const float> bins);
void model_reset_max_hold(TraceModel &m);
// Shows the next detector that has lines (wrapping); returns it.
int model_next_detector(TraceModel &m);
// From the lowest bin edge to the highest of the shown detector's lines.
FreqSpan model_span(const TraceModel &m);
// Strongest bin of the shown detector's latest lines.
Peak model_peak(const TraceModel &m);

// Column c of `columns` covers [from + c*w, from + (c+1)*w), w = span/columns.
// A column takes the strongest bin whose centre lies in it; a column that
// holds no bin centre (zoomed in past the bins) takes the bin covering its
// own centre; NaN where nothing does.
void model_columns(const TraceModel &m, FreqSpan span, int columns, std::vector<float> &live,
                   std::vector<float> &max_hold);
