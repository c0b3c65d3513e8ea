// SPDX-License-Identifier: MIT
#include "radio/channel_plan.h"

#include "base/log.h"

#include <span>

namespace
{

// Candidate centres of an active sweep: the 20 MHz channels of 2.4 GHz that
// do not overlap each other much, and the 80 MHz blocks of 5 GHz.
constexpr uint32_t centres_2ghz[] = {2412, 2432, 2452, 2462};
constexpr uint32_t centres_5ghz[] = {5210, 5290, 5530, 5610, 5690, 5775, 5855};

struct CandidateChannels {
    Band band;
    std::span<const uint32_t> centres;
    uint32_t width_mhz;
    uint32_t half_width_mhz; // for the overlap test
};

constexpr CandidateChannels candidate_table[] = {
    {Band::Band2GHz, centres_2ghz, 20, 10},
    {Band::Band5GHz, centres_5ghz, 80, 40},
    {Band::Band6GHz, {}, 0, 0},
};

const CandidateChannels *candidates_of(Band band)
{
    for (const CandidateChannels &c : candidate_table)
        if (c.band == band)
            return &c;
    return nullptr;
}

} // namespace

Band band_of_frequency(uint32_t mhz)
{
    for (const BandRange &row : band_table)
        if (mhz >= row.lowest_mhz && mhz <= row.highest_mhz)
            return row.band;
    return Band::BandUnknown;
}

const BandRange *band_range(Band band)
{
    for (const BandRange &row : band_table)
        if (row.band == band)
            return &row;
    return nullptr;
}

RadioError plan_channels(RadioControl &rc, uint32_t from_mhz, uint32_t to_mhz)
{
    if (from_mhz >= to_mhz)
        return RadioError::InvalidParameters;
    if (rc.band == Band::BandUnknown) {
        log_text("Cannot calculate channels: interface band not detected yet\n");
        return RadioError::InvalidParameters;
    }
    rc.channel_count = 0;
    if (const CandidateChannels *c = candidates_of(rc.band)) {
        for (uint32_t centre : c->centres) {
            if (rc.channel_count >= MAX_SWEEP_CHANNELS)
                break;
            if (to_mhz >= centre - c->half_width_mhz && from_mhz <= centre + c->half_width_mhz) {
                rc.channel_freq[rc.channel_count] = centre;
                rc.channel_width[rc.channel_count] = c->width_mhz;
                rc.channel_count++;
            }
        }
    }
    auto band = static_cast<int>(rc.band);
    if (rc.channel_count == 0) {
        log_text("No valid WiFi channels found in range %u-%u MHz for band %d\n", from_mhz, to_mhz,
                 band);
        return RadioError::InvalidParameters;
    }
    log_text("Selected %u valid WiFi channels in range %u-%u MHz for band %d\n", rc.channel_count,
             from_mhz, to_mhz, band);
    return RadioError::Success;
}
