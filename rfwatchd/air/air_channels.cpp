// SPDX-License-Identifier: MIT
#include "air/air_channels.h"

#include <array>

namespace
{

constexpr size_t CHANNELS = 14 + 28 + 8 + 59;

// 2.4 GHz 1-14; 5 GHz 36-144 at multiples of 4, then 149-177 (which sit
// 5 MHz off that grid: 149 is at 5745 MHz); 6 GHz 1-233 every 20 MHz.
constexpr std::array<AirChannelPlace, CHANNELS> make_table()
{
    std::array<AirChannelPlace, CHANNELS> t{};
    size_t i = 0;
    for (uint16_t n = 1; n <= 13; ++n)
        t[i++] = {n, static_cast<uint16_t>(2412 + 5 * (n - 1))};
    t[i++] = {14, 2484};
    for (uint16_t n = 36; n <= 144; n += 4)
        t[i++] = {n, static_cast<uint16_t>(5000 + 5 * n)};
    for (uint16_t n = 149; n <= 177; n += 4)
        t[i++] = {n, static_cast<uint16_t>(5000 + 5 * n)};
    for (uint16_t k = 0; k <= 58; ++k)
        t[i++] = {static_cast<uint16_t>(1 + 4 * k), static_cast<uint16_t>(5955 + 20 * k)};
    return t;
}

constexpr std::array<AirChannelPlace, CHANNELS> TABLE = make_table();
static_assert(TABLE[CHANNELS - 1].mhz == 7115 && TABLE[13].mhz == 2484 &&
              TABLE[42].number == 149 && TABLE[42].mhz == 5745);

constexpr int HALF_CHANNEL = 10;

// Bins whose centre lies in [lo, hi), clamped to the capture.
void place_bins(AirChannel &c, float low_mhz, float mhz_per_bin, size_t bin_count)
{
    auto first_at_or_after = [&](float mhz) {
        float j = (mhz - low_mhz) / mhz_per_bin - 0.5f;
        int k = static_cast<int>(j);
        k += static_cast<float>(k) < j ? 1 : 0; // ceil, also below zero
        return k;
    };
    int first = first_at_or_after(static_cast<float>(c.mhz - HALF_CHANNEL));
    int last = first_at_or_after(static_cast<float>(c.mhz + HALF_CHANNEL)) - 1;
    const int top = static_cast<int>(bin_count) - 1;
    first = first < 0 ? 0 : (first > top ? top : first);
    last = last < first ? first : (last > top ? top : last);
    c.first_bin = static_cast<uint16_t>(first);
    c.last_bin = static_cast<uint16_t>(last);
}

} // namespace

const AirChannelPlace *air_channel_table(size_t &count)
{
    count = CHANNELS;
    return TABLE.data();
}

size_t air_covered_channels(uint16_t centre_mhz, uint16_t width_mhz, size_t bin_count,
                            AirChannel *out)
{
    if (width_mhz == 0 || bin_count == 0)
        return 0;
    // In half-MHz units, so that an odd width's edges stay whole.
    const int lo2 = 2 * centre_mhz - width_mhz, hi2 = 2 * centre_mhz + width_mhz;
    size_t count = 0;
    const AirChannelPlace *nearest = nullptr;
    for (const AirChannelPlace &p : TABLE) {
        const int mhz2 = 2 * p.mhz;
        if (mhz2 - 2 * HALF_CHANNEL >= lo2 && mhz2 + 2 * HALF_CHANNEL <= hi2 &&
            count < AIR_MAX_CHANNELS)
            out[count++] = AirChannel{p.number, p.mhz, 0, 0, 0};
        const int off = p.mhz > centre_mhz ? p.mhz - centre_mhz : centre_mhz - p.mhz;
        if (mhz2 >= lo2 && mhz2 <= hi2 &&
            (!nearest || off < (nearest->mhz > centre_mhz ? nearest->mhz - centre_mhz
                                                            : centre_mhz - nearest->mhz)))
            nearest = &p;
    }
    if (count == 0 && nearest)
        out[count++] = AirChannel{nearest->number, nearest->mhz, 0, 0, 0};
    const float low = static_cast<float>(centre_mhz) - static_cast<float>(width_mhz) / 2;
    const float per_bin = static_cast<float>(width_mhz) / static_cast<float>(bin_count);
    for (size_t i = 0; i < count; ++i)
        place_bins(out[i], low, per_bin, bin_count);
    return count;
}
