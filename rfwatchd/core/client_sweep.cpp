// SPDX-License-Identifier: MIT
#include "core/client_sweep.h"

#include "base/log.h"
#include "core/client.h"
#include "core/command_parse.h"
#include "core/server.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"

#include <cstdio>

namespace
{

// What a client sweep writes to the driver while it runs.
constexpr DriverSettings SWEEP_SETTINGS{0, 0};

// Writes the held settings back and lets them go; a failed write keeps
// them held, so a later cancellation can try again.
bool restore_settings(Server &server, bool cancelling = true)
{
    ClientSweepSettings &sweep = server.client_sweep;
    if (!sweep.held)
        return true;
    ConfigError ce = spectral_write_driver_settings(server.spectral, sweep.saved);
    if (ce != ConfigError::Success) {
        if (cancelling)
            log_text("Erorr cancelling sweep: %s\n", config_error_message(ce));
        else
            log_text("Failed to restore driver settings: %s\n", config_error_message(ce));
        return false;
    }
    sweep.held = 0;
    return true;
}

} // namespace

void client_sweep_start(Server &server, const Client &client, const ParsedCommand &cmd)
{
    printf("Sweep for client %d: %d-%d MHz, duration=%d s, dwell=%d ms\n", client.socket,
           cmd.from_mhz, cmd.to_mhz, cmd.duration_s, cmd.dwell_ms);
    // While a sweep's zeros are in the driver, reading it again would
    // replace the real values with them.
    ClientSweepSettings &sweep = server.client_sweep;
    if (!sweep.held) {
        ConfigError ce = spectral_read_driver_settings(server.spectral, sweep.saved);
        if (ce != ConfigError::Success) {
            log_text("Failed to start sweep: %s\n", config_error_message(ce));
            return;
        }
        sweep.held = 1;
    }
    ConfigError ce = spectral_write_driver_settings(server.spectral, SWEEP_SETTINGS);
    if (ce != ConfigError::Success) {
        log_text("Error setting up driver for sweep: %s\n", config_error_message(ce));
        // Part of the zeros may be in the driver (chan_bw written, freq_shift
        // refused). Unless a client sweep runs on them, no sweep needs them:
        // what was saved goes back.
        if (!sweep_type_is(server.radio, SweepType::Active))
            restore_settings(server, false);
        return;
    }
    SweepRequest req{};
    req.type = SweepType::Active;
    req.from_mhz = static_cast<uint32_t>(cmd.from_mhz);
    req.to_mhz = static_cast<uint32_t>(cmd.to_mhz);
    req.whole_band = 0;
    req.step_mhz = 0;
    // A negative duration becomes a count beyond MAX_SWEEP_DURATION_S,
    // which the sweep engine refuses.
    req.duration_s = static_cast<uint32_t>(cmd.duration_s);
    req.dwell_ms = static_cast<uint32_t>(cmd.dwell_ms);
    RadioError re = start_sweep(server.radio, req);
    if (re != RadioError::Success) {
        // Refused early (a bad dwell or duration), the running sweep goes
        // on and still needs the zeros; refused later, no sweep is left.
        if (!sweep_type_is(server.radio, SweepType::Active))
            restore_settings(server);
        log_text("Failed to start sweep: %s\n", radio_error_message(re));
    }
}

void client_sweep_cancel(Server &server, const Client &client)
{
    printf("Sweep cancellation for client %d\n", client.socket);
    cancel_sweep(server.radio);
    restore_settings(server);
}

bool client_sweep_time_out(Server &server)
{
    if (!sweep_expired(server.radio) || !sweep_finished(server.radio))
        return false;
    log_text("Sweep timeout, restoring config\n");
    cancel_sweep(server.radio);
    restore_settings(server);
    return true;
}

void client_sweep_teardown(Server &server)
{
    if (sweep_type_is(server.radio, SweepType::Active))
        cancel_sweep(server.radio);
    restore_settings(server);
}
