// SPDX-License-Identifier: MIT
// The main-loop step that moves sweeps on: following a width change, the
// hops and end of a running sweep, and keeping the background sweep going.
#pragma once

#include <cstdint>

struct Server;

// A background sweep that failed to start is tried again after this long.
constexpr uint64_t BACKGROUND_RETRY_MS = 1000;

void sweep_timer_step(Server &server);
// The earliest time at which the step has something to do (a width change,
// a hop, the end of a sweep, a background start), or UINT64_MAX.
uint64_t next_sweep_timer_ms(const Server &server, uint64_t now);
