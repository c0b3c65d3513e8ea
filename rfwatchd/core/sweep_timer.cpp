// SPDX-License-Identifier: MIT
#include "core/sweep_timer.h"

#include "base/clock.h"
#include "base/log.h"
#include "core/client_sweep.h"
#include "core/samples.h"
#include "core/server.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"

#include <algorithm>

namespace
{

// Slices of a narrow channel need longer to collect reports.
uint32_t background_dwell_ms(uint32_t width_mhz)
{
    if (width_mhz == 5)
        return 100;
    if (width_mhz == 10)
        return 50;
    return 25;
}

void follow_width_change(Server &server)
{
    if (server.requested_bins == 0) {
        int32_t bins = bins_for_bandwidth(server.current_bandwidth);
        if (bins != server.spectral.bin_count) {
            log_text("Bandwidth changed to %u MHz, updating bin count: %d -> %d\n",
                     server.current_bandwidth, server.spectral.bin_count, bins);
            server.spectral.bin_count = bins;
            spectral_set_bins(server.spectral); // the next re-arm writes it again
        }
    }
    // The background sweep's step is the width: restart it with the new one.
    if (sweep_type_is(server.radio, SweepType::Agile))
        cancel_sweep(server.radio);
    server.bandwidth_changed = 0;
}

void drive_running_sweep(Server &server)
{
    if (client_sweep_time_out(server)) {
        if (rearm_spectral_scan(server) != 0)
            log_text("Failed to re-trigger after next sweep channel\n");
    } else if (hop_due(server.radio)) {
        RadioError re = advance_sweep(server.radio);
        if (re != RadioError::Success)
            log_text("Failed to advance to next channel: %s\n", radio_error_message(re));
        if (rearm_spectral_scan(server) != 0)
            log_text("Failed to re-trigger after next sweep channel\n");
    }
}

bool background_wanted(const Server &server)
{
    bool configured =
        server.whole_band || (server.background_start != 0 && server.background_end != 0);
    return configured && !sweep_active(server.radio) && server.current_bandwidth != 0;
}

void keep_background_sweep(Server &server)
{
    if (!background_wanted(server))
        return;
    // A refused range would otherwise be tried, and its two lines printed,
    // in every pass: about a thousand times a second.
    uint64_t now = monotonic_ms();
    if (now < server.background_retry_ms)
        return;
    SweepRequest req{};
    req.type = SweepType::Agile;
    req.from_mhz = static_cast<uint32_t>(server.background_start);
    req.to_mhz = static_cast<uint32_t>(server.background_end);
    req.whole_band = server.whole_band;
    req.step_mhz = server.current_bandwidth;
    req.duration_s = 0;
    req.dwell_ms = background_dwell_ms(server.current_bandwidth);
    RadioError re = start_sweep(server.radio, req);
    if (re != RadioError::Success) {
        log_text("Failed to activate background sweep: %s\n", radio_error_message(re));
        server.background_retry_ms = now + BACKGROUND_RETRY_MS;
    }
}

} // namespace

void sweep_timer_step(Server &server)
{
    if (server.bandwidth_changed)
        follow_width_change(server);
    if (sweep_active(server.radio))
        drive_running_sweep(server);
    keep_background_sweep(server);
}

uint64_t next_sweep_timer_ms(const Server &server, uint64_t now)
{
    if (server.bandwidth_changed)
        return now;
    const RadioControl &rc = server.radio;
    if (background_wanted(server))
        return std::max(now, server.background_retry_ms);
    if (!sweep_active(rc))
        return UINT64_MAX;
    uint64_t due = UINT64_MAX;
    if (rc.channel_count != 0)
        due = rc.last_hop_ms + rc.dwell_ms;
    if (rc.remaining_ms != 0)
        due = std::min(due, rc.sweep_start_ms + rc.duration_ms);
    // A time already past is a hop that fell due since the last step or one
    // that failed and stays due: either waits for the next sample read,
    // so a failing hop is retried at that pace, not in a spin.
    return std::max(due, now + SAMPLE_READ_INTERVAL_MS);
}
