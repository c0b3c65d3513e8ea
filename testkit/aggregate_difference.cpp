// SPDX-License-Identifier: MIT
#include "aggregate_difference.h"

namespace wdtest
{

namespace
{

template <typename T> std::string differs(const char *what, size_t slot, T want, T got)
{
    return "slot " + std::to_string(slot) + " " + what + ": " + std::to_string(got) +
           ", expected " + std::to_string(want);
}

std::string slot_difference(size_t i, const AggregateSlot &want, const AggregateSlot &got)
{
    const SpectralSample &w = want.sample, &g = got.sample;
    const struct {
        const char *what;
        uint64_t want, got;
    } fields[] = {
        {"count", want.count, got.count},
        {"reshaped", want.reshaped, got.reshaped},
        {"detector", w.detector, g.detector},
        {"freq_mhz", w.freq_mhz, g.freq_mhz},
        {"bandwidth_mhz", w.bandwidth_mhz, g.bandwidth_mhz},
        {"noise_dbm", static_cast<uint64_t>(w.noise_dbm), static_cast<uint64_t>(g.noise_dbm)},
        {"rssi", w.rssi, g.rssi},
        {"timestamp", w.timestamp, g.timestamp},
        {"bin_count", w.bin_count, g.bin_count},
    };
    for (const auto &f : fields)
        if (f.want != f.got)
            return differs(f.what, i, f.want, f.got);
    for (size_t j = 0; j < w.bin_count && j < MAX_SPECTRAL_BINS; ++j)
        if (w.bins[j] != g.bins[j])
            return differs("bin", i, w.bins[j], g.bins[j]) + " at bin " + std::to_string(j);
    return {};
}

} // namespace

std::string aggregate_difference(const SampleAggregate &want, const SampleAggregate &got)
{
    if (want.slots_used != got.slots_used)
        return "slots_used: " + std::to_string(got.slots_used) + ", expected " +
               std::to_string(want.slots_used);
    for (size_t i = 0; i < want.slots_used && i < AGGREGATE_SLOTS; ++i) {
        std::string d = slot_difference(i, want.slots[i], got.slots[i]);
        if (!d.empty())
            return d;
    }
    return {};
}

} // namespace wdtest
