// SPDX-License-Identifier: MIT
// The daemon's one top-level record and its life: discovery of the
// monitor's phy and driver, set-up of the scan, and teardown.
#pragma once

#include "capture/spectral_config.h"
#include "capture/spectral_sample.h"
#include "capture/spectral_source.h"
#include "core/client.h"
#include "core/client_air.h"
#include "core/client_sweep.h"
#include "core/options.h"
#include "core/sample_pool.h"
#include "radio/radio_control.h"

#include <cstdint>

struct Server {
    int32_t listen_fd;
    ClientLink clients; // oldest connection first
    int32_t client_count;
    uint64_t last_sample_ms; // last sample step that read a sample
    uint64_t last_read_ms;   // last read of the sample file
    SpectralConfig spectral;
    SpectralSource source;
    RadioControl radio;
    ClientSweepSettings client_sweep;
    uint32_t current_bandwidth; // MHz of the latest sample, 0 before the first
    uint8_t bandwidth_changed;
    int32_t requested_bins; // -b; 0 is automatic
    int32_t background_start;
    int32_t background_end;
    uint8_t whole_band;
    uint64_t background_retry_ms; // no background attempt before this time
    SpectralSample sample;        // the one record the sample step decodes into
    SamplePool *pool;             // the sample step's; may be nullptr
    // Accepting: the listener is left out of the poll until this time after
    // an accept failed for want of descriptors; each flag keeps a refusal
    // to one line per episode.
    uint64_t accept_resume_ms;
    uint8_t accept_failing;   // accept has failed since the last success
    uint8_t refusing_clients; // the client limit turned connections away
    ServerAir air;
};

// 5->4, 10->8, 20->16, 40->32, 80->64, 160->128, anything else 256.
int32_t bins_for_bandwidth(uint32_t width_mhz);

// found must be zeroed. 0, or -1 after printing why.
int discover_configuration(const ServerOptions &opts, DiscoveredInterface &found);
// 0, or -1 after printing why; the server may then be half set up and must
// still be torn down.
int server_init(Server &server, const ServerOptions &opts, const DiscoveredInterface &found);
// Releases everything; accepts a zeroed or half set-up server.
void server_teardown(Server &server);
