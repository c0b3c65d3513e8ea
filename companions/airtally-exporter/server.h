// SPDX-License-Identifier: MIT
// airtally-exporter's server: one libwebsockets loop answering scrapes over
// HTTP. A scrape runs inside the loop, so scrapes never overlap: a request
// that arrives meanwhile waits in its connection and is served fresh after.
#pragma once

#include "air_link.h"
#include "http_gate.h"
#include "options.h"
#include "scrape.h"

#include <libwebsockets.h>
#include <string>

namespace airtally_exporter
{

// Each waiting connection can cost a scrape (seconds when a daemon is
// silent), so few are let in, and few from any one address, so that one
// peer cannot lock Prometheus out; each has a short while to send its
// request whole.
constexpr size_t MAX_CONNECTIONS = 8;
constexpr size_t MAX_CONNECTIONS_PER_PEER = 2;
constexpr int REQUEST_DEADLINE_S = 2;

struct ExporterServer {
    ExporterOptions options;
    std::string token; // empty: none required
    struct lws_context *context = nullptr;
    struct lws_vhost *vhost = nullptr;
    Scraper scraper;
    HttpGate gate;
    AirDaemons air; // one per --rfwatchd
};

// false: error says why (the caller exits with 1).
bool server_start(ExporterServer &s, std::string &error);
int server_port(const ExporterServer &s);
void server_stop(ExporterServer &s);

} // namespace airtally_exporter
