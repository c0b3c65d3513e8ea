// SPDX-License-Identifier: MIT
#include "radio/sweep.h"

#include "base/clock.h"
#include "base/log.h"
#include "capture/spectral_config.h"
#include "radio/channel_plan.h"
#include "radio/channel_set.h"
#include "radio/link_state.h"
#include "radio/sweep_links.h"
#include "radio/sweep_timing.h"

#include <array>

namespace
{

constexpr uint32_t MIN_DWELL_MS = 5;
constexpr uint32_t MAX_DWELL_MS = 60000;

// Indexed by SweepType; an idle sweep is never started, so it has no name.
constexpr std::array sweep_type_names = {"UNKNOWN", "active", "agile"};
static_assert(sweep_type_names.size() == SWEEP_TYPE_COUNT, "one name per SweepType");

const char *sweep_type_name(SweepType type)
{
    auto index = static_cast<size_t>(type);
    return index < SWEEP_TYPE_COUNT ? sweep_type_names[index] : "UNKNOWN";
}

// Slices of step_mhz side by side across the range, each given by its
// centre, the first at from + half a step and the last ending by to. In 64
// bits, so that a range ending below half a step plans nothing instead of
// wrapping the limit and filling the list.
void plan_slices(RadioControl &rc, uint32_t from_mhz, uint32_t to_mhz, uint32_t step_mhz)
{
    uint64_t half = step_mhz / 2;
    for (uint64_t c = uint64_t{from_mhz} + half;
         c + half <= to_mhz && rc.channel_count < MAX_SWEEP_CHANNELS; c += step_mhz) {
        rc.channel_freq[rc.channel_count] = static_cast<uint32_t>(c);
        rc.channel_width[rc.channel_count] = step_mhz;
        rc.channel_count++;
    }
}

bool first_slice_fits(uint32_t from_mhz, uint32_t to_mhz, uint32_t step_mhz)
{
    uint64_t half = step_mhz / 2;
    return uint64_t{from_mhz} + 2 * half <= to_mhz;
}

// The range the request asks for (the whole band when it says so);
// InvalidParameters when there is none.
RadioError requested_range(const RadioControl &rc, const SweepRequest &request, uint32_t &from,
                           uint32_t &to)
{
    from = request.from_mhz;
    to = request.to_mhz;
    if (request.whole_band & 1) {
        if (rc.band == Band::BandUnknown) {
            log_text("Band not detected, cannot configure whole band sweep.\n");
            return RadioError::InvalidParameters;
        }
        const BandRange *range = band_range(rc.band);
        if (!range)
            return RadioError::InvalidParameters;
        from = range->lowest_mhz;
        to = range->highest_mhz;
    } else if (from >= to) {
        return RadioError::InvalidParameters;
    }
    return RadioError::Success;
}

RadioError prepare_active(RadioControl &rc, uint32_t from_mhz, uint32_t to_mhz)
{
    RadioError err = plan_channels(rc, from_mhz, to_mhz);
    if (err != RadioError::Success)
        return err;
    if (rc.primary_count != 0) {
        err = take_primaries_down(rc);
        if (err != RadioError::Success)
            return err;
    }
    err = set_link_up(rc.monitor, true);
    if (err != RadioError::Success) {
        log_text("Failed to bring up monitor interface\n");
        restore_links(rc);
    }
    return err;
}

} // namespace

RadioError start_sweep(RadioControl &rc, const SweepRequest &request)
{
    if (request.dwell_ms < MIN_DWELL_MS || request.dwell_ms > MAX_DWELL_MS)
        return RadioError::InvalidParameters;
    // duration_ms holds the duration in milliseconds in 32 bits.
    if (request.duration_s > MAX_SWEEP_DURATION_S)
        return RadioError::InvalidParameters;
    log_text("Starting %s sweep for range %d - %d.\n", sweep_type_name(request.type),
             static_cast<int>(request.from_mhz), static_cast<int>(request.to_mhz));
    // Checked before the running sweep is cancelled: a request refused for
    // its own range or kind leaves that sweep running.
    uint32_t from = 0;
    uint32_t to = 0;
    RadioError err = requested_range(rc, request, from, to);
    if (err != RadioError::Success)
        return err;
    if (request.type != SweepType::Active && request.type != SweepType::Agile)
        return RadioError::InvalidParameters;
    if (request.type == SweepType::Agile && !first_slice_fits(from, to, request.step_mhz))
        return RadioError::InvalidParameters;
    // A request that may start replaces the running sweep.
    if (sweep_active(rc))
        cancel_sweep(rc);

    rc.channel_count = 0;
    rc.channel_index = 0;
    rc.dwell_ms = request.dwell_ms;
    switch (request.type) {
    case SweepType::Active:
        err = prepare_active(rc, from, to);
        break;
    case SweepType::Agile:
        plan_slices(rc, from, to, request.step_mhz);
        if (rc.channel_count == 0)
            err = RadioError::InvalidParameters;
        break;
    default:
        err = RadioError::InvalidParameters;
        break;
    }
    if (err != RadioError::Success)
        return err;

    // set_channel picks its road by the sweep type, so it is set first.
    rc.sweep_type = request.type;
    uint64_t now = monotonic_ms();
    rc.sweep_start_ms = now;
    rc.last_hop_ms = now;
    rc.duration_ms = request.duration_s * 1000;
    rc.remaining_ms = rc.duration_ms;

    err = set_channel(rc, rc.channel_freq[0], rc.channel_width[0]);
    if (err != RadioError::Success) {
        rc.sweep_type = SweepType::Idle;
        if (request.type == SweepType::Active)
            restore_links(rc);
        return err;
    }
    log_text("Started sweep with known phy: %d-%d MHz, %d channels, %d ms dwell, %s duration\n",
             static_cast<int>(from), static_cast<int>(to), static_cast<int>(rc.channel_count),
             static_cast<int>(rc.dwell_ms), request.duration_s != 0 ? "finite" : "infinite");
    return RadioError::Success;
}

RadioError cancel_sweep(RadioControl &rc)
{
    switch (rc.sweep_type) {
    case SweepType::Idle:
        return RadioError::Success;
    case SweepType::Active:
        restore_links(rc);
        break;
    case SweepType::Agile:
        // The scan goes back to background mode when the daemon re-arms it.
        if (rc.spectral)
            spectral_stop(*rc.spectral);
        break;
    }
    rc.sweep_type = SweepType::Idle;
    log_text("Cancelled sweep for interface %s\n", rc.monitor.name);
    return RadioError::Success;
}

RadioError advance_sweep(RadioControl &rc)
{
    if (rc.sweep_type == SweepType::Idle || rc.channel_count == 0)
        return RadioError::InvalidParameters;
    rc.channel_index = (rc.channel_index + 1) % rc.channel_count;
    RadioError err =
        set_channel(rc, rc.channel_freq[rc.channel_index], rc.channel_width[rc.channel_index]);
    // On failure the hop stays due, so the next pass tries the next entry.
    if (err == RadioError::Success)
        rc.last_hop_ms = monotonic_ms();
    return err;
}
