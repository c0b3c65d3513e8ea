// SPDX-License-Identifier: MIT
// The main loop every HTTP companion runs once it listens: serve until
// SIGINT or SIGTERM, then return so that main tears down and exits 0.
#pragma once

#include <libwebsockets.h>
#include <string>

// Blocks SIGINT and SIGTERM in this thread and the threads it starts later,
// and ignores SIGPIPE (a browser or scraper that goes away must not end the
// program). Call it before starting threads: a stop signal is then taken
// by the loop whenever it comes, even before the loop runs.
void stop_signals_block();

// Blocks the stop signals if not yet done, prints ready_line on standard
// output, then serves context until SIGINT or SIGTERM, which are read in
// the loop from a signalfd. false: the signals cannot be watched (error
// printed), nothing was served.
bool run_until_signalled(struct lws_context *context, const std::string &ready_line);
