// SPDX-License-Identifier: MIT
// Radio bands and the channel plan of an active sweep.
#pragma once

#include "radio/radio_control.h"
#include "radio/radio_error.h"

struct BandRange {
    uint32_t lowest_mhz; // inclusive
    uint32_t highest_mhz;
    Band band;
};

// Searched in order; 5 GHz and 6 GHz overlap from 5925 to 6630 MHz, where the
// first row wins. The rows are also the whole-band sweep ranges.
inline constexpr BandRange band_table[] = {
    {2402, 2755, Band::Band2GHz},
    {4900, 6630, Band::Band5GHz},
    {5925, 7125, Band::Band6GHz},
};

Band band_of_frequency(uint32_t mhz);

// Row of band; nullptr for BandUnknown or a value outside the table.
const BandRange *band_range(Band band);

// Fills channel_freq, channel_width and channel_count with the candidate
// channels of rc.band that overlap from..to (at most MAX_SWEEP_CHANNELS).
RadioError plan_channels(RadioControl &rc, uint32_t from_mhz, uint32_t to_mhz);
