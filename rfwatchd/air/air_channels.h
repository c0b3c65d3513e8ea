// SPDX-License-Identifier: MIT
// Which 20 MHz channels a capture covers, and which of its bins each spans.
#pragma once

#include "air/air_engine.h"

#include <cstddef>
#include <cstdint>

struct AirChannelPlace {
    uint16_t number;
    uint16_t mhz;
};

// Every 20 MHz channel of the 2.4, 5 and 6 GHz bands, by centre.
const AirChannelPlace *air_channel_table(size_t &count);

// Fills out with the channels whose whole 20 MHz lies inside the capture
// [centre - width/2, centre + width/2] (if none does, the one whose centre
// is nearest the capture's, when inside it), with their bins (those whose
// centre lies in the channel) and zero counters. Returns how many.
size_t air_covered_channels(uint16_t centre_mhz, uint16_t width_mhz, size_t bin_count,
                            AirChannel *out);
