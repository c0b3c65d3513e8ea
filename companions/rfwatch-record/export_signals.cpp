// SPDX-License-Identifier: MIT
#include "export_signals.h"

#include <algorithm>

namespace
{

void hold(SignalRuns &runs, const SignalRun &run)
{
    if (run.lines == 0)
        return; // split off and never named again
    const auto at =
        std::upper_bound(runs.held.begin(), runs.held.end(), run.start,
                         [](uint64_t start, const SignalRun &r) { return start < r.start; });
    runs.held.insert(at, run);
}

// Sends every held run that no open one precedes.
void release(SignalRuns &runs)
{
    uint64_t earliest_open = UINT64_MAX;
    for (const SignalRun &r : runs.open)
        earliest_open = std::min(earliest_open, r.start);
    size_t sent = 0;
    while (sent < runs.held.size() && runs.held[sent].start <= earliest_open)
        runs.sink(runs.held[sent++]);
    runs.held.erase(runs.held.begin(), runs.held.begin() + static_cast<std::ptrdiff_t>(sent));
}

// Ends the open run that began first there and lets it go on as a new one:
// what bounds the memory when one signal outlives very many others.
void split_earliest(SignalRuns &runs)
{
    const auto first =
        std::min_element(runs.open.begin(), runs.open.end(),
                         [](const SignalRun &a, const SignalRun &b) { return a.start < b.start; });
    hold(runs, *first);
    first->start = first->end;
    first->lines = 0;
    first->duty_sum = 0;
    first->peak_dbm = -1e9;
}

} // namespace

void signal_runs_air(SignalRuns &runs, const AirLine &air, uint64_t from, uint64_t at)
{
    for (size_t i = 0; i < air.signal_count; i++) {
        const AirLineSignal &s = air.signals[i];
        auto run = std::find_if(runs.open.begin(), runs.open.end(), [&](const SignalRun &r) {
            return r.air_mhz == air.freq_mhz && r.first_seen == s.first_seen && r.cls == s.cls;
        });
        if (run == runs.open.end()) {
            if (runs.open.size() >= SIGNAL_RUNS_OPEN)
                split_earliest(runs); // keeps it bounded below
            runs.open.push_back(SignalRun{air.freq_mhz, s.cls, s.first_seen, from, at, s.mhz, s.mhz,
                                          -1e9, 0, 0, false});
            run = runs.open.end() - 1;
        }
        run->end = at;
        run->lower_mhz = std::min(run->lower_mhz, s.mhz - s.width_mhz / 2);
        run->upper_mhz = std::max(run->upper_mhz, s.mhz + s.width_mhz / 2);
        run->peak_dbm = std::max(run->peak_dbm, s.dbm);
        run->duty_sum += s.duty;
        run->lines++;
        run->named = true;
    }
    // A signal of this frequency the line no longer names has ended.
    auto ended = std::stable_partition(runs.open.begin(), runs.open.end(), [&](const SignalRun &r) {
        return r.air_mhz != air.freq_mhz || r.named;
    });
    for (auto r = ended; r != runs.open.end(); ++r)
        hold(runs, *r);
    runs.open.erase(ended, runs.open.end());
    for (SignalRun &r : runs.open)
        r.named = false;
    while (runs.held.size() > SIGNAL_RUNS_HELD && !runs.open.empty()) {
        split_earliest(runs);
        release(runs);
    }
    release(runs);
}

void signal_runs_end(SignalRuns &runs)
{
    for (const SignalRun &r : runs.open)
        hold(runs, r);
    runs.open.clear();
    release(runs);
}
