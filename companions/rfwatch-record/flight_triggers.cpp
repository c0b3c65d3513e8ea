// SPDX-License-Identifier: MIT
#include "flight_triggers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace
{

// The entry to reuse when a table is full: the one least recently seen.
template <typename T, size_t N> size_t slot(std::array<T, N> &table, size_t &count)
{
    if (count < N)
        return count++;
    size_t oldest = 0;
    for (size_t i = 1; i < N; i++)
        if (table[i].time_us < table[oldest].time_us)
            oldest = i;
    return oldest;
}

// Whether cls had not been seen within the window, remembering it as seen
// now. A class twice in one line is thus new once; and one that was in the
// previous air line is not new however far back that line is (air lines
// further apart than the window would otherwise make a steady microwave an
// event at every line).
bool class_new(FlightTriggers &t, uint64_t time_us, std::string_view cls)
{
    for (size_t i = 0; i < t.class_count; i++) {
        FlightClassSeen &c = t.classes[i];
        if (std::string_view(c.name.data()) != cls)
            continue;
        const bool is_new = c.line + 1 < t.lines && time_us > c.time_us &&
                            time_us - c.time_us > uint64_t(t.window_us);
        c.time_us = std::max(c.time_us, time_us);
        c.line = t.lines;
        return is_new;
    }
    FlightClassSeen &c = t.classes[slot(t.classes, t.class_count)];
    const size_t n = std::min(cls.size(), c.name.size() - 1);
    memcpy(c.name.data(), cls.data(), n);
    c.name[n] = '\0';
    c.time_us = time_us;
    c.line = t.lines;
    return true;
}

// Whether the channel's quality has just fallen below the threshold: it was
// at or above it in the channel's previous line. A channel first seen below
// it raises nothing until it has recovered.
bool quality_fell(FlightTriggers &t, uint64_t time_us, const AirLineChannel &ch)
{
    for (size_t i = 0; i < t.channel_count; i++) {
        FlightChannelQuality &c = t.channels[i];
        if (c.channel != ch.channel)
            continue;
        const bool fell = c.quality >= t.below_quality && ch.quality < t.below_quality;
        c.quality = ch.quality;
        c.time_us = time_us;
        return fell;
    }
    t.channels[slot(t.channels, t.channel_count)] = {ch.channel, ch.quality, time_us};
    return false;
}

void add(FlightCauses &out, const char *prefix, std::string_view what)
{
    char text[FLIGHT_CAUSE_MAX + 8];
    snprintf(text, sizeof text, "%s%.*s", prefix, static_cast<int>(what.size()), what.data());
    flight_cause_word(text, out.list[out.count++]);
}

} // namespace

void flight_triggers_init(FlightTriggers &t, int64_t window_us, int below_quality)
{
    t = FlightTriggers{};
    t.window_us = window_us;
    t.below_quality = below_quality;
}

void flight_triggers_air(FlightTriggers &t, uint64_t time_us, const AirLine &line,
                         FlightCauses &out)
{
    out.count = 0;
    t.lines++;
    for (size_t i = 0; i < line.signal_count && i < AIR_LINE_MAX_SIGNALS; i++) {
        const std::string &cls = line.signals[i].cls;
        if (cls != "wifi" && class_new(t, time_us, cls))
            add(out, "class-", cls);
    }
    if (t.below_quality < 0)
        return;
    for (size_t i = 0; i < line.channel_count && i < AIR_LINE_MAX_CHANNELS; i++) {
        if (quality_fell(t, time_us, line.channels[i])) {
            char ch[8];
            snprintf(ch, sizeof ch, "%u", unsigned(line.channels[i].channel));
            add(out, "quality-ch", ch);
        }
    }
}

void flight_cause_word(std::string_view cause, FlightCause &out)
{
    size_t n = 0;
    for (const char c : cause.substr(0, FLIGHT_CAUSE_MAX)) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        out.text[n++] = keep ? c : '_';
    }
    if (n == 0) {
        constexpr std::string_view fallback = "trigger";
        memcpy(out.text.data(), fallback.data(), fallback.size());
        n = fallback.size();
    }
    out.text[n] = '\0';
}
