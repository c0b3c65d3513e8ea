// SPDX-License-Identifier: MIT
// A client's active sweep, from start to its end by cancellation, time-out
// or teardown. The driver's channel-width and frequency-shift settings are
// zeroed for the sweep; the real values are saved once and held until they
// are written back, so a second start or a stray cancellation can neither
// overwrite the saved copy with the sweep's zeros nor write zeros over the
// driver's real values.
#pragma once

#include "capture/spectral_config.h"

#include <cstdint>

struct Client;
struct ParsedCommand;
struct Server;

// The driver's real settings while a client sweep has them zeroed.
struct ClientSweepSettings {
    DriverSettings saved; // read when a client sweep starts
    uint8_t held;         // saved not yet written back
};

// Saves the settings (unless already held), zeroes them and starts the sweep;
// a refused start writes the saved settings back at once.
void client_sweep_start(Server &server, const Client &client, const ParsedCommand &cmd);
// Cancels whatever sweep runs, then writes back the saved settings if held.
void client_sweep_cancel(Server &server, const Client &client);
// Ends the running sweep once its duration has passed and its last dwell is
// over, writing the saved settings back; true when it ended it.
bool client_sweep_time_out(Server &server);
// Leaving the daemon: an active sweep is cancelled and the settings written
// back, so the primaries come up and the driver is as it was found.
void client_sweep_teardown(Server &server);
