// SPDX-License-Identifier: MIT
// SigMF annotations from air lines: a signal named in consecutive air lines
// of one centre frequency is one annotation, spanning the samples of those
// lines' windows. Annotations come out sorted by their first sample, as
// SigMF asks, holding only a bounded number back.
#pragma once

#include "air_line.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SignalRun {
    uint16_t air_mhz;    // the air line's centre frequency
    std::string cls;     // the label
    uint64_t first_seen; // with the two above, which signal it is
    uint64_t start;      // first sample (float) of its first window
    uint64_t end;        // samples written when it was last named
    double lower_mhz, upper_mhz, peak_dbm, duty_sum;
    uint32_t lines; // air lines that named it
    bool named;     // in the air line being taken
};

// At most this many annotations wait for an earlier one still open; past it
// the earliest open one is ended there and goes on as a new one.
constexpr size_t SIGNAL_RUNS_HELD = 1024;
// At most this many signals open at once (12 per air line, a few dozen
// centre frequencies in a sweep).
constexpr size_t SIGNAL_RUNS_OPEN = 1024;

using SignalRunSink = std::function<void(const SignalRun &)>;

struct SignalRuns {
    std::vector<SignalRun> open;
    std::vector<SignalRun> held; // ended, sorted by start
    SignalRunSink sink;
};

// An air line that arrived when `at` samples had been written; `from` is
// the first sample of its window.
void signal_runs_air(SignalRuns &runs, const AirLine &air, uint64_t from, uint64_t at);
// The recording ended: every run goes out.
void signal_runs_end(SignalRuns &runs);
