// SPDX-License-Identifier: MIT
// The main-loop step that keeps the spectrum flowing: reading samples into
// every client's aggregates, and re-arming the scan when they stop.
#pragma once

#include <cstdint>

struct Server;

constexpr int SAMPLES_PER_PASS = 1000;
// After a read that emptied the file, the next one is due this much later.
constexpr uint64_t SAMPLE_READ_INTERVAL_MS = 1;
// Without a sample for this long the scan is re-armed, every pass, until
// samples flow again.
constexpr uint64_t SAMPLE_TIMEOUT_MS = 200;

// Decodes what one read of the sample file gives, at most SAMPLES_PER_PASS
// reports (what is left waits for the next pass, read-free). 0, or -1 when
// the daemon must stop.
int handle_samples(Server &server);
// When the sample step next has something to do: now while reports wait in
// the buffer or the file, else one read interval after the last read.
uint64_t next_sample_read_ms(const Server &server, uint64_t now);
// Writes the bin count and restarts background scanning; 0 or -1.
int rearm_spectral_scan(Server &server);
