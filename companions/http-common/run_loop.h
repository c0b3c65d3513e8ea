// The main loop every HTTP companion runs once it listens: serve until
// SIGINT or SIGTERM, then return so that main tears down and exits 0.
#pragma once

#include <libwebsockets.h>
#include <string>

// Catches SIGINT and SIGTERM (and ignores SIGPIPE: a browser or scraper
// that goes away must not end the program), prints ready_line on standard
// output, then serves context until one of those signals. One call per
// program: the signal handlers are process-wide.
void run_until_signalled(struct lws_context *context, const std::string &ready_line);
