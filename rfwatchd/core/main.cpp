// rfwatchd: streams a radio's spectral scan to local clients as JSON lines.
#include "clients.h"
#include "listener.h"
#include "options.h"
#include "server.h"
#include "signals.h"
#include "steps.h"

#include <cstdio>
#include <cstring>

namespace
{

// One record for the life of the process; it holds the client list's
// sentinel, so it never moves.
Server server;

void print_troubleshooting(const char *monitor)
{
    fprintf(stderr, "Failed to initialize server for interface '%s'\n", monitor);
    fprintf(stderr, "Troubleshooting tips:\n");
    fprintf(stderr, "  - Verify interface exists: ip link show %s\n", monitor);
    fprintf(stderr, "  - Check interface is in monitor mode: iw dev %s info\n", monitor);
    fprintf(stderr, "  - Ensure debugfs is mounted: mount | grep debugfs\n");
    fprintf(stderr,
            "  - Verify spectral capability: ls /sys/kernel/debug/ieee80211/phy*/*/spectral_*\n");
}

void print_discovered(const DiscoveredInterface &found)
{
    fprintf(stderr, "Server initialization failed with discovered configuration\n");
    fprintf(stderr, "  Monitor interface: %s\n", found.monitor.name);
    fprintf(stderr, "  Phy Index: %u\n", found.monitor.phy);
    fprintf(stderr, "  Driver: %s\n", found.driver ? found.driver->name : "(none)");
    fprintf(stderr, "  Spectral Path: %s\n", found.spectral_dir);
    fprintf(stderr,
            "Hint: Check that debugfs is mounted and interface has spectral capabilities\n");
}

int serve()
{
    for (;;) {
        if (stop_requested) {
            server_teardown(server);
            return 0;
        }
        poll_clients(server);
        sweep_timer_step(server);
        if (handle_samples(server) != 0) {
            fprintf(stderr, "Error while handling samples.\n");
            server_teardown(server);
            return 1;
        }
        flush_clients(server);
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
    fprintf(stderr, "Starting rfwatchd with monitor interface: %s\n", opts.monitor);

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
    fprintf(stderr, "Server initialization successful\n");
    return serve();
}
