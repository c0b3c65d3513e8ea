// SPDX-License-Identifier: MIT
// The air line: one JSON object per frequency heard in a client's window,
// written with snprintf into a fixed buffer (the daemon has no allocator
// per line). Member order and number formats are what the readers parse.
#include "air/air_engine.h"
#include "air/air_quality.h"

#include <cstdarg>
#include <cstdio>

namespace
{

// Room for the head, 8 channels and 12 signals with all their evidence
// (about 4 KB at most).
constexpr size_t LINE_CAPACITY = 6144;

struct Text {
    char buf[LINE_CAPACITY];
    size_t len;
    bool overflow;
};

__attribute__((format(printf, 2, 3))) void put(Text &t, const char *fmt, ...)
{
    if (t.overflow)
        return;
    va_list args;
    va_start(args, fmt);
    const int n = vsnprintf(t.buf + t.len, sizeof t.buf - t.len, fmt, args);
    va_end(args);
    if (n < 0 || static_cast<size_t>(n) >= sizeof t.buf - t.len)
        t.overflow = true;
    else
        t.len += static_cast<size_t>(n);
}

// A figure the JSON can carry: a tracker's NaN or infinity becomes 0.
double finite(double x)
{
    return x > -1e12 && x < 1e12 ? x : 0;
}

// One signal as the window saw it.
struct Heard {
    const AirSignal *signal;
    float duty;
    float weight;
};

uint64_t on_before(const AirCursorFrequency &c, bool same_generation, uint32_t id)
{
    if (same_generation)
        for (const AirCursorSignal &s : c.signals)
            if (s.id == id)
                return s.on_reports;
    return 0; // born in the window (or the slot started afresh): all of it counts
}

// The signals on at least once in the window, heaviest in the quality
// formula first, then by duty.
size_t heard_signals(const AirFrequency &f, const AirCursorFrequency &c, bool same_generation,
                     uint64_t reports, Heard *out)
{
    size_t n = 0;
    for (const AirSignal &s : f.tracker.signals) {
        if (s.id == 0)
            continue;
        const uint64_t before = on_before(c, same_generation, s.id);
        const uint64_t on = s.on_reports > before ? s.on_reports - before : 0;
        if (on == 0)
            continue;
        const float duty = on >= reports ? 1.0f : static_cast<float>(on) / static_cast<float>(reports);
        Heard h{&s, duty, air_signal_weight(s.cls, duty, s.dbm)};
        size_t i = n++;
        for (; i > 0 && (out[i - 1].weight < h.weight ||
                         (out[i - 1].weight == h.weight && out[i - 1].duty < h.duty));
             --i)
            out[i] = out[i - 1];
        out[i] = h;
    }
    return n;
}

int channel_quality(const AirChannel &ch, const Heard *heard, size_t count)
{
    float weights[AIR_MAX_SIGNALS];
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        const AirSignal &s = *heard[i].signal;
        const float off = s.mhz - static_cast<float>(ch.mhz);
        const float reach = s.width_mhz / 2 + 10.0f;
        if (off < reach && off > -reach)
            weights[n++] = heard[i].weight;
    }
    return air_quality(weights, n);
}

void put_signal(Text &t, const Heard &h, uint64_t now_us)
{
    const AirSignal &s = *h.signal;
    const uint64_t age_ms = now_us > s.first_seen_us ? (now_us - s.first_seen_us) / 1000 : 0;
    put(t,
        "{\"class\":\"%s\",\"mhz\":%.1f,\"width_mhz\":%.1f,\"dbm\":%.1f,\"duty\":%.3f,"
        "\"confidence\":%.3f,\"first_seen\":%llu,\"age_ms\":%llu",
        air_class_name(s.cls), finite(s.mhz), finite(s.width_mhz), finite(s.dbm),
        finite(h.duty), finite(s.confidence < 0 ? 0 : (s.confidence > 1 ? 1 : s.confidence)),
        static_cast<unsigned long long>(s.first_seen_timestamp),
        static_cast<unsigned long long>(age_ms));
    if (s.period_ms > 0)
        put(t, ",\"period_ms\":%.1f", finite(s.period_ms));
    if (s.hops > 0)
        put(t, ",\"hops\":%u", static_cast<unsigned>(s.hops));
    if (s.burst_ms > 0)
        put(t, ",\"burst_ms\":%.1f", finite(s.burst_ms));
    put(t, "}");
}

// Returns false when the frequency had no reports in the window.
bool write_line(Text &t, const AirEngine &engine, const AirFrequency &f,
                const AirCursorFrequency &c, uint32_t window_ms)
{
    const bool same = c.generation == f.generation;
    const uint64_t reports = f.reports - (same ? c.reports : 0);
    if (f.freq_mhz == 0 || reports == 0)
        return false;
    Heard heard[AIR_MAX_SIGNALS];
    const size_t heard_count = heard_signals(f, c, same, reports, heard);

    t.len = 0;
    t.overflow = false;
    put(t,
        "{\"air\":1,\"driver\":\"%s\",\"freq_mhz\":%u,\"bandwidth_mhz\":%u,\"timestamp\":%llu,"
        "\"window_ms\":%u,\"reports\":%llu,\"noise_floor_dbm\":%.1f,\"busy_threshold_dbm\":%.1f,"
        "\"channels\":[",
        engine.driver == AirDriver::Ath10k ? "ath10k" : "ath11k", f.freq_mhz, f.bandwidth_mhz,
        static_cast<unsigned long long>(f.last_timestamp), window_ms,
        static_cast<unsigned long long>(reports), finite(f.noise_floor_dbm),
        finite(f.noise_floor_dbm + engine.settings.margin_db));
    for (size_t k = 0; k < f.channel_count; ++k) {
        const AirChannel &ch = f.channels[k];
        const uint64_t occupied = ch.occupied - (same ? c.occupied[k] : 0);
        put(t, "%s{\"channel\":%u,\"mhz\":%u,\"utilisation\":%.3f,\"quality\":%d}", k ? "," : "",
            ch.number, ch.mhz, static_cast<double>(occupied) / static_cast<double>(reports),
            channel_quality(ch, heard, heard_count));
    }
    put(t, "],\"signals\":[");
    for (size_t i = 0; i < heard_count; ++i) {
        if (i)
            put(t, ",");
        put_signal(t, heard[i], f.last_seen_us);
    }
    put(t, "]}");
    return !t.overflow;
}

} // namespace

size_t air_write_lines(const AirEngine &engine, AirCursor &cursor, uint32_t window_ms,
                       FunctionRef<void(std::string_view line)> line)
{
    Text t; // on the stack: one line at a time, no allocation
    size_t lines = 0;
    for (size_t i = 0; i < AIR_MAX_FREQUENCIES; ++i) {
        if (!write_line(t, engine, engine.frequencies[i], cursor.frequencies[i], window_ms))
            continue;
        line(std::string_view(t.buf, t.len));
        lines++;
    }
    air_cursor_restart(cursor, engine);
    return lines;
}
