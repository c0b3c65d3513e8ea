// SPDX-License-Identifier: MIT
// One pass of the daemon's main loop: a single wait in poll over the
// listener and every client, bounded by the steps' next deadline, then the
// sweep-timer, sample and flush steps.
#pragma once

#include <cstdint>

struct Server;

// Milliseconds the pass may wait for input before a step falls due.
int main_loop_wait_ms(Server &server, uint64_t now);
// 0, or -1 when the sample step failed and the daemon must stop.
int main_loop_pass(Server &server);
