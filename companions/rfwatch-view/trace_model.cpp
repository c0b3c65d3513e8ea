// SPDX-License-Identifier: MIT
#include "trace_model.h"

#include <algorithm>
#include <cmath>

namespace
{

bool before(const Trace &t, int detector, int freq_mhz)
{
    return t.detector < detector || (t.detector == detector && t.freq_mhz < freq_mhz);
}

double bin_low(const Trace &t, size_t i)
{
    return t.freq_mhz - t.bandwidth_mhz / 2.0 +
           static_cast<double>(i) * t.bandwidth_mhz / static_cast<double>(t.bins.size());
}

double bin_centre(const Trace &t, size_t i)
{
    return t.freq_mhz - t.bandwidth_mhz / 2.0 +
           (static_cast<double>(i) + 0.5) * t.bandwidth_mhz / static_cast<double>(t.bins.size());
}

// NaN loses to any value: a null bin never hides a measured one.
void keep_stronger(float &into, float value)
{
    if (!std::isnan(value) && (std::isnan(into) || value > into))
        into = value;
}

int column_of(double freq, FreqSpan span, int columns)
{
    double w = (span.to_mhz - span.from_mhz) / columns;
    return static_cast<int>(std::floor((freq - span.from_mhz) / w));
}

// Bins by the column holding their centre.
void place_centres(const Trace &t, FreqSpan span, int columns, std::vector<float> &live,
                   std::vector<float> &max_hold, std::vector<char> &hit)
{
    for (size_t i = 0; i < t.bins.size(); i++) {
        int c = column_of(bin_centre(t, i), span, columns);
        if (c < 0 || c >= columns)
            continue;
        keep_stronger(live[static_cast<size_t>(c)], t.bins[i]);
        keep_stronger(max_hold[static_cast<size_t>(c)], t.max_hold[i]);
        hit[static_cast<size_t>(c)] = 1;
    }
}

// Columns with no bin centre take the bin under their own centre.
void fill_gaps(const Trace &t, FreqSpan span, int columns, std::vector<float> &live,
               std::vector<float> &max_hold, const std::vector<char> &hit)
{
    double w = (span.to_mhz - span.from_mhz) / columns;
    double bin_w = static_cast<double>(t.bandwidth_mhz) / static_cast<double>(t.bins.size());
    double low = bin_low(t, 0);
    for (int c = 0; c < columns; c++) {
        if (hit[static_cast<size_t>(c)])
            continue;
        double f = span.from_mhz + (c + 0.5) * w;
        double k = std::floor((f - low) / bin_w);
        if (k < 0 || k >= static_cast<double>(t.bins.size()))
            continue;
        auto i = static_cast<size_t>(k);
        keep_stronger(live[static_cast<size_t>(c)], t.bins[i]);
        keep_stronger(max_hold[static_cast<size_t>(c)], t.max_hold[i]);
    }
}

} // namespace

bool model_add(TraceModel &m, const SampleLine &line, std::span<const float> bins)
{
    if (bins.empty() || bins.size() > MAX_TRACE_BINS || line.bandwidth_mhz <= 0)
        return false;
    auto at = std::find_if(m.traces.begin(), m.traces.end(), [&](const Trace &t) {
        return !before(t, line.detector, line.freq_mhz);
    });
    if (at == m.traces.end() || at->detector != line.detector || at->freq_mhz != line.freq_mhz) {
        if (m.traces.size() >= MAX_TRACES)
            return false;
        at = m.traces.insert(at, Trace{line.detector, line.freq_mhz, line.bandwidth_mhz, {}, {}});
    }
    // A new width or bin count makes the old max-hold cover other
    // frequencies: start it again.
    if (at->bandwidth_mhz != line.bandwidth_mhz || at->max_hold.size() != bins.size())
        at->max_hold.assign(bins.size(), NAN);
    at->bandwidth_mhz = line.bandwidth_mhz;
    at->bins.assign(bins.begin(), bins.end());
    for (size_t i = 0; i < bins.size(); i++)
        keep_stronger(at->max_hold[i], bins[i]);
    if (m.detector < 0)
        m.detector = line.detector;
    return true;
}

void model_reset_max_hold(TraceModel &m)
{
    for (Trace &t : m.traces)
        t.max_hold = t.bins;
}

int model_next_detector(TraceModel &m)
{
    // Traces are sorted by detector: the first with a larger one, else the
    // smallest.
    for (const Trace &t : m.traces)
        if (t.detector > m.detector)
            return m.detector = t.detector;
    if (!m.traces.empty())
        m.detector = m.traces.front().detector;
    return m.detector;
}

FreqSpan model_span(const TraceModel &m)
{
    FreqSpan s{1e18, -1e18};
    for (const Trace &t : m.traces) {
        if (t.detector != m.detector)
            continue;
        s.from_mhz = std::min(s.from_mhz, t.freq_mhz - t.bandwidth_mhz / 2.0);
        s.to_mhz = std::max(s.to_mhz, t.freq_mhz + t.bandwidth_mhz / 2.0);
    }
    return s.empty() ? FreqSpan{} : s;
}

Peak model_peak(const TraceModel &m)
{
    Peak p;
    for (const Trace &t : m.traces) {
        if (t.detector != m.detector)
            continue;
        for (size_t i = 0; i < t.bins.size(); i++) {
            if (std::isnan(t.bins[i]) || (p.found && t.bins[i] <= p.dbm))
                continue;
            p = Peak{true, bin_centre(t, i), t.bins[i]};
        }
    }
    return p;
}

void model_columns(const TraceModel &m, FreqSpan span, int columns, std::vector<float> &live,
                   std::vector<float> &max_hold)
{
    size_t n = columns > 0 ? static_cast<size_t>(columns) : 0;
    live.assign(n, NAN);
    max_hold.assign(n, NAN);
    if (n == 0 || span.empty())
        return;
    std::vector<char> hit(n, 0);
    for (const Trace &t : m.traces)
        if (t.detector == m.detector)
            place_centres(t, span, columns, live, max_hold, hit);
    for (const Trace &t : m.traces)
        if (t.detector == m.detector)
            fill_gaps(t, span, columns, live, max_hold, hit);
}
