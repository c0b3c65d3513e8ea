// SPDX-License-Identifier: MIT
#include "scene.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace fakeath
{

namespace
{

// An emitter's edges fall 20 dB per MHz beyond its full-level width and
// end 40 dB down; the fall is tabulated so a report costs no pow per bin.
constexpr int EDGE_STEPS_PER_MHZ = 128;
constexpr double EDGE_MHZ = 2;
constexpr int EDGE_STEPS = static_cast<int>(EDGE_MHZ) * EDGE_STEPS_PER_MHZ;

struct EdgeTable {
    double factor[EDGE_STEPS + 1];
    EdgeTable()
    {
        for (int i = 0; i <= EDGE_STEPS; ++i)
            factor[i] = std::pow(10.0, -2.0 * i / EDGE_STEPS_PER_MHZ);
    }
};

const EdgeTable &edge()
{
    static const EdgeTable table;
    return table;
}

uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Adds one emitter at its instantaneous place. A bin shows the level of the
// nearest point it covers, so an emitter narrower than a bin still shows
// its full level in the bin that holds it.
void add_emitter(const EmitterState &st, double peak_mw, double low, double step, size_t bins,
                 double *mw)
{
    double reach = st.half_top_mhz + EDGE_MHZ + step;
    long first = std::max(0l, static_cast<long>((st.centre_mhz - reach - low) / step));
    long last = std::min(static_cast<long>(bins) - 1,
                         static_cast<long>((st.centre_mhz + reach - low) / step));
    const EdgeTable &t = edge();
    for (long j = first; j <= last; ++j) {
        double f = low + (static_cast<double>(j) + 0.5) * step;
        double excess = std::fabs(f - st.centre_mhz) - step / 2 - st.half_top_mhz;
        if (excess <= 0) {
            mw[j] += peak_mw;
            continue;
        }
        long i = std::lround(excess * EDGE_STEPS_PER_MHZ);
        if (i <= EDGE_STEPS)
            mw[j] += peak_mw * t.factor[i];
    }
}

// Appends the lines of the second being counted and starts it afresh.
void write_second(Scene &s, std::string &out)
{
    for (size_t i = 0; i < s.emitter_count; ++i) {
        const Emitter &e = s.emitters[i];
        const TruthCount &c = s.truth[i];
        double width = e.kind == EmitterKind::Hopper ? e.to_mhz - e.from_mhz + 1 : e.width_mhz;
        char line[320];
        snprintf(line, sizeof line,
                 "{\"second\":%" PRId64 ",\"emitter\":%zu,\"kind\":\"%s\",\"mhz\":%.1f,"
                 "\"width_mhz\":%.1f,\"dbm\":%.1f,\"reports\":%" PRIu32 ",\"on\":%" PRIu32
                 ",\"duty\":%.3f}\n",
                 s.truth_second, i, emitter_kind_name(e.kind), e.mhz, width, e.dbm, c.reports, c.on,
                 c.reports ? static_cast<double>(c.on) / c.reports : 0.0);
        out += line;
        s.truth[i] = TruthCount{};
    }
}

void count_truth(Scene &s, const SceneReport &r)
{
    auto second = static_cast<int64_t>(r.t_us / 1e6);
    if (second != s.truth_second) {
        if (s.truth_second >= 0)
            write_second(s, s.truth_lines);
        s.truth_second = second;
    }
    for (size_t i = 0; i < s.emitter_count; ++i) {
        s.truth[i].reports += r.inside[i];
        s.truth[i].on += r.on[i];
    }
}

} // namespace

int scene_add_emitter(Scene &s, const Emitter &e)
{
    if (s.emitter_count >= MAX_EMITTERS)
        return -1;
    Emitter &added = s.emitters[s.emitter_count];
    added = e;
    added.seed = mix(s.seed * 31 + s.emitter_count);
    added.switch_us = -1; // its history starts afresh with the new seed
    added.last_us = 0;
    ++s.emitter_count;
    return 0;
}

void scene_tune(Scene &s, double centre_mhz, double width_mhz)
{
    s.centre_mhz = centre_mhz;
    s.width_mhz = width_mhz;
}

double scene_report_time(const Scene &s, uint64_t k)
{
    double u = static_cast<double>(mix(s.seed ^ mix(k)) >> 11) / static_cast<double>(1ull << 53);
    return (static_cast<double>(k) + u) / s.rate_hz * 1e6;
}

SceneReport scene_report_mw(Scene &s, uint64_t k, double *mw, size_t bins)
{
    bins = std::min(bins, MAX_BINS);
    SceneReport r;
    r.t_us = scene_report_time(s, k);
    r.timestamp = static_cast<uint64_t>(r.t_us);
    model_spectrum_mw(s.model, s.centre_mhz, s.width_mhz, bins, mw);
    double low = s.centre_mhz - s.width_mhz / 2, high = s.centre_mhz + s.width_mhz / 2;
    double step = bins ? s.width_mhz / static_cast<double>(bins) : 1;
    for (size_t i = 0; i < s.emitter_count; ++i) {
        Emitter &e = s.emitters[i];
        double span_low = 0, span_high = 0;
        emitter_span(e, span_low, span_high);
        r.inside[i] = span_low < high && span_high > low;
        EmitterState st = emitter_at(e, r.t_us);
        bool shows =
            st.centre_mhz + st.half_top_mhz > low && st.centre_mhz - st.half_top_mhz < high;
        r.on[i] = r.inside[i] && st.on && shows;
        if (st.on && bins)
            add_emitter(st, std::pow(10.0, e.dbm / 10), low, step, bins, mw);
    }
    count_truth(s, r);
    return r;
}

SceneReport scene_report(Scene &s, uint64_t k, double *dbm_out, size_t bins)
{
    bins = std::min(bins, MAX_BINS);
    SceneReport r = scene_report_mw(s, k, dbm_out, bins);
    for (size_t j = 0; j < bins; ++j)
        dbm_out[j] = 10 * std::log10(dbm_out[j]);
    return r;
}

void scene_truth_lines(Scene &s, std::string &out, bool flush)
{
    out += s.truth_lines;
    s.truth_lines.clear();
    if (flush && s.truth_second >= 0) {
        write_second(s, out);
        s.truth_second = -1;
    }
}

} // namespace fakeath
