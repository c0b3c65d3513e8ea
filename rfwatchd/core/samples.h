// The main-loop step that keeps the spectrum flowing: reading samples into
// every client's aggregates, and re-arming the scan when they stop.
#pragma once

#include <cstdint>

struct Server;

constexpr int SAMPLES_PER_PASS = 1000;
// Without a sample for this long the scan is re-armed, every pass, until
// samples flow again.
constexpr uint64_t SAMPLE_TIMEOUT_MS = 200;

// 0, or -1 when the daemon must stop.
int handle_samples(Server &server);
// Writes the bin count and restarts background scanning; 0 or -1.
int rearm_spectral_scan(Server &server);
