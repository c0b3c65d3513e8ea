// SPDX-License-Identifier: MIT
// One scrape: refresh libairtally's lists, ask the daemons, render the text.
// The library reports failures only by printing them, so each call runs with
// standard output and error captured; whatever it printed counts as one
// error of that call's source and is passed on to the log (standard error).
#pragma once

#include "metrics_text.h"

#include <string>

struct radiostats;

namespace airtally_exporter
{

struct Scraper {
    radiostats *handle = nullptr; // made on the first scrape that can
    ExporterCounters counters;
    std::string init_said; // logged once, not on every failing scrape
};

// Blocks while the library works (up to its 2 s per control request).
std::string scrape(Scraper &s);
void scraper_free(Scraper &s);

// Runs call with descriptors 1 and 2 redirected to a temporary file and
// returns what was written to them (stdout's buffer flushed first). When no
// temporary file can be made the call runs as it is and "" is returned.
template <typename F> std::string run_captured(F &&call);

// The non-template part of run_captured.
struct Capture {
    int file = -1;
    int saved_out = -1;
    int saved_err = -1;
};
Capture capture_begin();
std::string capture_end(Capture &c);

template <typename F> std::string run_captured(F &&call)
{
    Capture c = capture_begin();
    call();
    return capture_end(c);
}

} // namespace airtally_exporter
