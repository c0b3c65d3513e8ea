// SPDX-License-Identifier: MIT
#include "radio/radio_control.h"

#include <cstring>

void init_radio_control(RadioControl &rc, const DiscoveredInterface &found,
                        SpectralConfig &spectral)
{
    std::memset(&rc, 0, sizeof rc);
    rc.sweep_type = SweepType::Idle;
    rc.band = Band::BandUnknown;
    rc.spectral = &spectral;
    rc.dwell_ms = 1000;
    rc.monitor = found.monitor;
    std::memcpy(rc.primaries, found.primaries, sizeof rc.primaries);
    rc.primary_count = found.primary_count;
}
