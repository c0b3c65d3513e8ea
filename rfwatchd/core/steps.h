// The two main-loop steps that keep the spectrum flowing: reading samples
// into every client's aggregates, and the sweep timer.
#pragma once

#include "server.h"

constexpr int SAMPLES_PER_PASS = 1000;
// Without a sample for this long the scan is re-armed, every pass, until
// samples flow again.
constexpr uint64_t SAMPLE_TIMEOUT_MS = 200;
// A background sweep that failed to start is tried again after this long.
constexpr uint64_t BACKGROUND_RETRY_MS = 1000;

// 0, or -1 when the daemon must stop.
int handle_samples(Server &server);
void sweep_timer_step(Server &server);
// Writes the bin count and restarts background scanning; 0 or -1.
int rearm_spectral_scan(Server &server);
