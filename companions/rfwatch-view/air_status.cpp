// SPDX-License-Identifier: MIT
#include "air_status.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace
{

constexpr double MIN_STALE_S = 3;

bool recent(const AirStatus &s, size_t i, double now_s)
{
    const double window_s = static_cast<double>(s.lines[i].window_ms) / 1000;
    return now_s - s.received_s[i] < std::max(MIN_STALE_S, 3 * window_s);
}

// Terminal columns of UTF-8 text: continuation bytes take none.
int columns(const std::string &text)
{
    int n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    char text[160];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

// Its strongest evidence, as a person reads it.
std::string evidence(const AirLineSignal &sig)
{
    if (sig.period_ms > 0)
        return format(" (%.1f ms)", sig.period_ms);
    if (sig.hops > 0)
        return format(" (%u hops)", sig.hops);
    if (sig.burst_ms > 0)
        return format(" (bursts %.1f ms)", sig.burst_ms);
    return "";
}

// Wi-Fi is the air's own use, and "unknown" names nothing.
const AirLineSignal *strongest_named(const AirStatus &s, double now_s)
{
    const AirLineSignal *best = nullptr;
    for (size_t i = 0; i < s.count; i++)
        for (size_t j = 0; recent(s, i, now_s) && j < s.lines[i].signal_count; j++) {
            const AirLineSignal &sig = s.lines[i].signals[j];
            if (sig.cls != "wifi" && sig.cls != "unknown" && (!best || sig.dbm > best->dbm))
                best = &sig;
        }
    return best;
}

} // namespace

void air_status_add(AirStatus &s, const AirLine &line, double now_s)
{
    size_t at = 0;
    while (at < s.count && s.lines[at].freq_mhz != line.freq_mhz)
        at++;
    if (at == AIR_STATUS_MAX_FREQS)
        at = static_cast<size_t>(std::min_element(s.received_s, s.received_s + s.count) -
                                 s.received_s);
    else if (at == s.count)
        s.count++;
    s.lines[at] = line;
    s.received_s[at] = now_s;
}

std::string air_status_text(const AirStatus &s, double now_s, int width, const char *sep)
{
    // A channel two captures share shows its worse quality.
    AirLineChannel channels[AIR_STATUS_MAX_FREQS * AIR_LINE_MAX_CHANNELS];
    size_t n = 0;
    bool any = false;
    for (size_t i = 0; i < s.count; i++) {
        if (!recent(s, i, now_s))
            continue;
        any = true;
        for (size_t j = 0; j < s.lines[i].channel_count; j++) {
            const AirLineChannel &c = s.lines[i].channels[j];
            AirLineChannel *held =
                std::find_if(channels, channels + n,
                             [&](const AirLineChannel &h) { return h.channel == c.channel; });
            if (held == channels + n)
                channels[n++] = c;
            else if (c.quality < held->quality)
                *held = c;
        }
    }
    if (!any)
        return "air: waiting";
    std::sort(channels, channels + n, [](const AirLineChannel &a, const AirLineChannel &b) {
        return a.quality != b.quality ? a.quality < b.quality : a.channel < b.channel;
    });
    std::string tail;
    if (const AirLineSignal *sig = strongest_named(s, now_s))
        tail = format("%s %.0f MHz %.0f dBm %.0f%%", sig->cls.c_str(), sig->mhz, sig->dbm,
                      sig->duty * 100) +
               evidence(*sig);
    std::string text = "air:";
    const int room = width - (tail.empty() ? 0 : columns(sep) + columns(tail));
    for (size_t i = 0; i < n; i++) {
        const std::string item =
            format("%sch %d %.0f%% q %d", i ? sep : " ", static_cast<int>(channels[i].channel),
                   channels[i].utilisation * 100, channels[i].quality);
        if (columns(text) + columns(item) > room)
            break;
        text += item;
    }
    if (!tail.empty())
        text += (text.size() > 4 ? sep : " ") + tail;
    return text;
}
