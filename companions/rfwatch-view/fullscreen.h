// SPDX-License-Identifier: MIT
// The full-screen view's loop: reads the daemon's lines and the keys, and
// redraws at most ten times a second.
#pragma once

#include "view_link.h"

#include <csignal>
#include <string>

// Runs until q, a set `stop`, `seconds` (0: no limit) or the daemon closing
// the connection; a non-empty title stays on the bottom row, and with air
// the air line above it. 0, 1 (stdout is no terminal, or the commands could
// not be sent) or 2 (the daemon closed).
int run_fullscreen(ViewLink &link, double seconds, const std::string &title, bool air,
                   const volatile sig_atomic_t &stop);
