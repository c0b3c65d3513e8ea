#include "channels.h"

namespace
{

// A band's channels: number = (mhz - base) / 5 on the 5 MHz grid, for the
// numbers first..last. Wider channels' centres lie on the same grid.
struct Band {
    uint32_t base_mhz;
    int first;
    int last;
};

constexpr Band BANDS[] = {
    {2407, 1, 13},   // 2.4 GHz: 2412 + 5(n - 1)
    {5000, 36, 177}, // 5 GHz
    {5950, 1, 233},  // 6 GHz
};

// Off the grid of the 2.4 GHz band: 12 MHz above channel 13 (Japan, 11b).
constexpr uint32_t CHANNEL_14_MHZ = 2484;
// 6 GHz channel 2 sits below the band's grid, 5 MHz above 5930.
constexpr uint32_t CHANNEL_6G_2_MHZ = 5935;

} // namespace

int channel_number(uint32_t centre_mhz)
{
    if (centre_mhz == CHANNEL_14_MHZ)
        return 14;
    if (centre_mhz == CHANNEL_6G_2_MHZ)
        return 2;
    for (const Band &band : BANDS) {
        if (centre_mhz <= band.base_mhz || (centre_mhz - band.base_mhz) % 5 != 0)
            continue;
        auto n = static_cast<int>((centre_mhz - band.base_mhz) / 5);
        if (n >= band.first && n <= band.last)
            return n;
    }
    return 0;
}

double bin_low_mhz(uint32_t freq_mhz, uint32_t width_mhz, size_t i, size_t n)
{
    if (n == 0)
        return freq_mhz;
    return freq_mhz - width_mhz / 2.0 + static_cast<double>(i) * width_mhz / static_cast<double>(n);
}

double bin_centre_mhz(uint32_t freq_mhz, uint32_t width_mhz, size_t i, size_t n)
{
    if (n == 0)
        return freq_mhz;
    return freq_mhz - width_mhz / 2.0 +
           (static_cast<double>(i) + 0.5) * width_mhz / static_cast<double>(n);
}
