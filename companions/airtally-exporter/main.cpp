// SPDX-License-Identifier: MIT
// airtally-exporter: libairtally's radio and interface statistics for
// Prometheus. One thread, one libwebsockets loop; each scrape of /metrics
// reads nl80211 and the daemons' control sockets afresh.
#include "access_token.h"
#include "listen_address.h"
#include "options.h"
#include "run_loop.h"
#include "server.h"

#include <cstdio>
#include <memory>

using namespace airtally_exporter;

int main(int argc, char **argv)
{
    // Whole lines, in order with standard error, for whoever reads the log.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    auto server = std::make_unique<ExporterServer>();
    std::string message;
    const CliResult parsed = options_parse(argc, argv, server->options, message);
    if (const int status = cli_finish(EXPORTER_CLI, parsed, argv[0], message, EXIT_USAGE);
        status >= 0)
        return status;
    if (!server->options.access.token_file.empty() &&
        !token_file_load(server->options.access.token_file.c_str(), TokenCharset::Printable, false,
                         server->token, message)) {
        fprintf(stderr, "airtally-exporter: %s\n", message.c_str());
        return 1;
    }
    http_gate_log_setup();
    if (!server_start(*server, message)) {
        fprintf(stderr, "airtally-exporter: %s\n", message.c_str());
        return 1;
    }
    const bool served = run_until_signalled(
        server->context,
        listening_line("airtally-exporter", server->options.access.address, server_port(*server),
                       server->token.empty() ? "" : " (bearer token required)"));
    server_stop(*server);
    return served ? 0 : 1;
}
