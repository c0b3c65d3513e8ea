// SPDX-License-Identifier: MIT
#include "fleet_air.h"

#include <algorithm>

namespace
{

// rfwatchd's weight of a signal in a channel's quality: duty times how far
// above -90 dBm it is, full at -60 dBm. Wi-Fi is the channel's own use.
double air_weight(const AirLineSignal &s)
{
    if (s.cls == "wifi")
        return 0;
    return s.duty * std::clamp((s.dbm + 90) / 30, 0.0, 1.0);
}

// Heaviest first, then the busier.
bool heavier(const FleetAirSignal &a, const FleetAirSignal &b)
{
    return a.weight != b.weight ? a.weight > b.weight : a.duty > b.duty;
}

} // namespace

void fleet_air_note(FleetAir &a, const AirLine &line, int64_t now_us)
{
    FleetAirFreq *slot = nullptr;
    for (size_t i = 0; i < a.count && slot == nullptr; i++)
        if (a.freqs[i].freq_mhz == line.freq_mhz)
            slot = &a.freqs[i];
    if (slot == nullptr && a.count < FLEET_AIR_FREQS)
        slot = &a.freqs[a.count++];
    if (slot == nullptr)
        slot = &*std::ranges::min_element(
            a.freqs, [](const auto &x, const auto &y) { return x.heard_us < y.heard_us; });
    slot->freq_mhz = line.freq_mhz;
    slot->heard_us = now_us;
    slot->quality = air_line_worst_quality(line);
    slot->signal_count = 0;
    std::array<FleetAirSignal, AIR_LINE_MAX_SIGNALS> named;
    size_t n = 0;
    for (size_t i = 0; i < line.signal_count && i < AIR_LINE_MAX_SIGNALS; i++) {
        const AirLineSignal &s = line.signals[i];
        const double w = air_weight(s);
        if (s.cls != "wifi")
            named[n++] = {s.cls, s.mhz, s.dbm, s.duty, w};
    }
    std::sort(named.begin(), named.begin() + static_cast<ptrdiff_t>(n), heavier);
    slot->signal_count = std::min(n, FLEET_AIR_SIGNALS);
    std::copy_n(named.begin(), slot->signal_count, slot->signals.begin());
}

FleetAirSummary fleet_air_summary(const FleetAir &a, int64_t now_us)
{
    FleetAirSummary out;
    std::array<FleetAirSignal, FLEET_AIR_FREQS * FLEET_AIR_SIGNALS> all;
    size_t n = 0;
    for (size_t i = 0; i < a.count; i++) {
        const FleetAirFreq &f = a.freqs[i];
        if (now_us - f.heard_us > FLEET_AIR_FRESH_US)
            continue;
        out.quality = out.quality < 0 ? f.quality : std::min(out.quality, f.quality);
        for (size_t k = 0; k < f.signal_count; k++)
            all[n++] = f.signals[k];
    }
    std::sort(all.begin(), all.begin() + static_cast<ptrdiff_t>(n), heavier);
    out.signal_count = std::min(n, FLEET_AIR_SIGNALS);
    std::copy_n(all.begin(), out.signal_count, out.signals.begin());
    return out;
}
