// SPDX-License-Identifier: MIT
// rfwatchd: streams a radio's spectral scan to local clients as JSON lines.
#include "base/log.h"
#include "core/listener.h"
#include "core/main_loop.h"
#include "core/options.h"
#include "core/server.h"
#include "core/signals.h"

#include <cstdio>

namespace
{

// One record for the life of the process; it holds the client list's
// sentinel, so it never moves.
Server server;

void print_troubleshooting(const char *monitor)
{
    log_text("Failed to initialize server for interface '%s'\n", monitor);
    log_text("Troubleshooting tips:\n");
    log_text("  - Verify interface exists: ip link show %s\n", monitor);
    log_text("  - Check interface is in monitor mode: iw dev %s info\n", monitor);
    log_text("  - Ensure debugfs is mounted: mount | grep debugfs\n");
    log_text("  - Verify spectral capability: ls /sys/kernel/debug/ieee80211/phy*/*/spectral_*\n");
}

void print_discovered(const DiscoveredInterface &found)
{
    log_text("Server initialization failed with discovered configuration\n");
    log_text("  Monitor interface: %s\n", found.monitor.name);
    log_text("  Phy Index: %u\n", found.monitor.phy);
    log_text("  Driver: %s\n", found.driver ? found.driver->name : "(none)");
    log_text("  Spectral Path: %s\n", found.spectral_dir);
    log_text("Hint: Check that debugfs is mounted and interface has spectral capabilities\n");
}

int serve()
{
    for (;;) {
        if (stop_requested) {
            server_teardown(server);
            return 0;
        }
        if (main_loop_pass(server) != 0) {
            log_text("Error while handling samples.\n");
            server_teardown(server);
            return 1;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Confirmations of client commands are read by people and scripts as
    // they happen, also through a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    setvbuf(stderr, nullptr, _IOLBF, 0);

    ServerOptions opts;
    switch (parse_command_line(argc, argv, opts, stdout, stderr)) {
    case PARSE_EXIT_OK:
        return 0;
    case PARSE_EXIT_FAIL:
        return 1;
    case PARSE_RUN:
        break;
    }
    install_signal_handlers();

    opts.listen_fd = open_listening_socket(opts.socket_path);
    if (opts.listen_fd < 0)
        return 1;
    log_text("Starting rfwatchd with monitor interface: %s\n", opts.monitor);

    static DiscoveredInterface found; // zeroed; 4 KiB of path is no stack guest
    if (discover_configuration(opts, found) != 0) {
        print_troubleshooting(opts.monitor);
        return 1;
    }
    if (server_init(server, opts, found) != 0) {
        print_discovered(found);
        server_teardown(server);
        return 1;
    }
    log_text("Server initialization successful\n");
    return serve();
}
