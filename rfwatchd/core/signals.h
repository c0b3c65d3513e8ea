// SPDX-License-Identifier: MIT
// SIGINT/SIGTERM set the stop flag that the main loop tests once per pass;
// SIGPIPE is ignored so that a vanished client shows as EPIPE on write.
#pragma once

#include <csignal>

// The only state shared with the handler.
extern volatile sig_atomic_t stop_requested;

// Installs the handlers. The handler's lines are composed here, outside
// the handler, because strsignal and stdio are not async-signal-safe.
void install_signal_handlers();
