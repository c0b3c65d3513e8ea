// SPDX-License-Identifier: MIT
#include "air_metrics.h"

#include "exposition.h"

#include <map>
#include <string_view>
#include <utility>

namespace airtally_exporter
{

namespace
{

// Always listed (0 when absent), so that a class appearing is a series
// going from 0 to more rather than a series coming into being.
constexpr const char *kClasses[] = {"wifi",       "microwave", "hopper", "narrowband",
                                    "continuous", "pulsed",    "unknown"};

// A 20 MHz channel may lie in several captures of a sweep: the newest line
// that covers it speaks for it.
struct ChannelSeen {
    const AirLineChannel *channel;
    uint64_t timestamp, order;
};

std::map<uint16_t, ChannelSeen> latest_channels(const AirRadio &r)
{
    std::map<uint16_t, ChannelSeen> out;
    for (const AirCapture &c : r.captures)
        for (size_t i = 0; i < c.line.channel_count; i++) {
            const ChannelSeen seen{&c.line.channels[i], c.line.timestamp, c.order};
            auto [it, fresh] = out.try_emplace(seen.channel->channel, seen);
            if (!fresh && std::pair(seen.timestamp, seen.order) >
                              std::pair(it->second.timestamp, it->second.order))
                it->second = seen;
        }
    return out;
}

std::map<std::string, size_t, std::less<>> signals_by_class(const AirRadio &r)
{
    std::map<std::string, size_t, std::less<>> out;
    for (const char *c : kClasses)
        out[c] = 0;
    for (const AirCapture &c : r.captures)
        for (size_t i = 0; i < c.line.signal_count; i++)
            out[c.line.signals[i].cls]++;
    return out;
}

using ChannelValue = double (*)(const AirLineChannel &c);

struct ChannelFamily {
    const char *name;
    const char *help;
    ChannelValue value;
};

constexpr ChannelFamily kChannelFamilies[] = {
    {"wifidiag_air_channel_utilisation_ratio",
     "Share of the window's reports in which the 20 MHz channel was occupied (a quarter of its "
     "bins above the busy threshold).",
     [](const AirLineChannel &c) { return c.utilisation; }},
    {"wifidiag_air_quality",
     "Air quality of the 20 MHz channel, 0 to 100: 100 less the weight of the non-Wi-Fi signals "
     "over it.",
     [](const AirLineChannel &c) { return static_cast<double>(c.quality); }},
};

} // namespace

void append_air_metrics(std::string &out, std::span<const AirRadio *const> radios)
{
    if (radios.empty())
        return;
    append_family(out, "wifidiag_air_daemon_up", "gauge",
                  "Whether the exporter is connected to the radio's rfwatchd (1) or not (0).");
    for (const AirRadio *r : radios) {
        const Label labels[] = {{"radio", r->name}};
        append_sample(out, "wifidiag_air_daemon_up", labels, r->up ? 1 : 0);
    }
    append_family(out, "wifidiag_air_noise_floor_dbm", "gauge",
                  "Noise floor rfwatchd tracks at a capture's centre frequency (mhz), in dBm.");
    for (const AirRadio *r : radios)
        for (const AirCapture &c : r->captures) {
            const std::string mhz = std::to_string(c.line.freq_mhz);
            const Label labels[] = {{"radio", r->name}, {"mhz", mhz}};
            append_sample(out, "wifidiag_air_noise_floor_dbm", labels, c.line.noise_floor_dbm);
        }
    for (const ChannelFamily &f : kChannelFamilies) {
        append_family(out, f.name, "gauge", f.help);
        for (const AirRadio *r : radios)
            for (const auto &[number, seen] : latest_channels(*r)) {
                const std::string channel = std::to_string(number);
                const std::string mhz = std::to_string(seen.channel->mhz);
                const Label labels[] = {{"radio", r->name}, {"channel", channel}, {"mhz", mhz}};
                append_sample(out, f.name, labels, f.value(*seen.channel));
            }
    }
    append_family(out, "wifidiag_air_signals", "gauge",
                  "Signals rfwatchd names in the radio's latest air lines, by class.");
    // A radio whose air is not known (no lines yet, daemon gone) says nothing.
    for (const AirRadio *r : radios)
        for (const auto &[cls, count] :
             r->captures.empty() ? decltype(signals_by_class(*r)){} : signals_by_class(*r)) {
            const Label labels[] = {{"radio", r->name}, {"class", cls}};
            append_sample(out, "wifidiag_air_signals", labels, static_cast<double>(count));
        }
}

} // namespace airtally_exporter
