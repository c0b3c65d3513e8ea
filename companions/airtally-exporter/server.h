// airtally-exporter's server: one libwebsockets loop answering scrapes over
// HTTP. A scrape runs inside the loop, so scrapes never overlap: a request
// that arrives meanwhile waits in its connection and is served fresh after.
#pragma once

#include "options.h"
#include "scrape.h"

#include <array>
#include <libwebsockets.h>
#include <string>

namespace airtally_exporter
{

// Each waiting connection can cost a scrape (seconds when a daemon is
// silent), so few are let in; more wait in the kernel's listen queue.
constexpr size_t MAX_CONNECTIONS = 8;

struct ExporterServer {
    ExporterOptions options;
    std::string token; // empty: none required
    struct lws_context *context = nullptr;
    struct lws_vhost *vhost = nullptr;
    Scraper scraper;
    std::array<struct lws *, MAX_CONNECTIONS> connections{}; // nullptr: free
};

// false: error says why (the caller exits with 1).
bool server_start(ExporterServer &s, std::string &error);
int server_port(const ExporterServer &s);
void server_stop(ExporterServer &s);

} // namespace airtally_exporter
