// SPDX-License-Identifier: MIT
#include "core/server.h"

#include "base/clock.h"
#include "base/log.h"
#include "core/client_sweep.h"
#include "core/clients.h"
#include "radio/current_channel.h"
#include "radio/discovery.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

struct WidthBins {
    uint32_t width_mhz;
    int32_t bins;
};

constexpr WidthBins width_bins[] = {{5, 4}, {10, 8}, {20, 16}, {40, 32}, {80, 64}, {160, 128}};
constexpr int32_t DEFAULT_BINS = 256;

} // namespace

int32_t bins_for_bandwidth(uint32_t width_mhz)
{
    for (const WidthBins &w : width_bins)
        if (w.width_mhz == width_mhz)
            return w.bins;
    return DEFAULT_BINS;
}

int discover_configuration(const ServerOptions &opts, DiscoveredInterface &found)
{
    if (opts.primary_count > static_cast<int32_t>(MAX_PRIMARIES)) {
        log_text("Number of configured primaries exceeds %d\n", static_cast<int>(MAX_PRIMARIES));
        return -1;
    }
    if (strlen(opts.monitor) >= INTERFACE_NAME_SIZE) {
        log_text("Monitor interface name (%s) is too long\n", opts.monitor);
        return -1;
    }
    if (opts.background_end < opts.background_start) {
        log_text("Background sweep range invalid: start %d, end %d\n", opts.background_start,
                 opts.background_end);
        return -1;
    }
    RadioError rc = discover_interface(opts.monitor, found.monitor);
    if (rc != RadioError::Success) {
        log_text("Failed to discover interface '%s': %s\n", opts.monitor, radio_error_message(rc));
        return -1;
    }
    found.primary_count = static_cast<uint32_t>(opts.primary_count);
    for (uint32_t i = 0; i < found.primary_count; i++) {
        const char *name = opts.primaries[i];
        if (discover_interface(name, found.primaries[i]) != RadioError::Success) {
            log_text("Error in iface discovery for %s\n", name);
            return -1;
        }
        if (found.primaries[i].phy != found.monitor.phy) {
            log_text("Interface %s is on phy %d, it must be on the same phy as monitor (%d)\n",
                     name, static_cast<int>(found.primaries[i].phy),
                     static_cast<int>(found.monitor.phy));
            return -1;
        }
    }
    found.driver = find_spectral_driver(found.monitor.phy);
    if (!found.driver) {
        log_text("Failed to auto-detect driver for phy%u on interface '%s'\n", found.monitor.phy,
                 opts.monitor);
        return -1;
    }
    int n = snprintf(found.spectral_dir, sizeof found.spectral_dir,
                     "/sys/kernel/debug/ieee80211/phy%u/%s", found.monitor.phy, found.driver->name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof found.spectral_dir) {
        log_text("Spectral directory path too long for phy%u driver %s (truncated)\n",
                 found.monitor.phy, found.driver->name);
        return -1;
    }
    log_text("Interface discovery successful, monitor: '%s' -> phy%u -> driver '%s' -> path "
             "'%s'\n",
             found.monitor.name, found.monitor.phy, found.driver->name, found.spectral_dir);
    if (found.primary_count > 0) {
        log_text("Primaries: ");
        for (uint32_t i = 0; i < found.primary_count; i++)
            log_text("%s ", found.primaries[i].name);
        log_text("\n");
    }
    return 0;
}

int server_init(Server &server, const ServerOptions &opts, const DiscoveredInterface &found)
{
    memset(&server, 0, sizeof server);
    server.listen_fd = opts.listen_fd;
    client_list_init(server);
    server.requested_bins = opts.bin_count;
    server.last_sample_ms = monotonic_ms();
    server.background_start = opts.background_start;
    server.background_end = opts.background_end;
    server.whole_band = opts.whole_band;
    // 0: options not parsed (the tests' servers), the engine's default.
    server.air.margin_db = opts.air_margin_db > 0 ? opts.air_margin_db : AIR_DEFAULT_MARGIN_DB;

    if (!found.driver) {
        log_text("Error: spectral driver must be provided\n");
        return -1;
    }
    ConfigError ce = spectral_config_init(server.spectral, found.spectral_dir);
    if (ce != ConfigError::Success) {
        log_text("Failed to initialize spectral config for %s: %s\n", found.spectral_dir,
                 config_error_message(ce));
        return -1;
    }
    server.spectral.bin_count = server.requested_bins;
    init_radio_control(server.radio, found, server.spectral);
    if (server.requested_bins == 0) {
        CurrentChannel channel{};
        RadioError re = query_current_channel(server.radio, channel);
        if (re != RadioError::Success) {
            log_text("Error initializing bin count: %s\n", radio_error_message(re));
            return -1;
        }
        server.spectral.bin_count = bins_for_bandwidth(channel.width);
    }
    ce = spectral_set_bins(server.spectral);
    if (ce != ConfigError::Success) {
        log_text("Failed to set spectral bins: %s\n", config_error_message(ce));
        spectral_config_cleanup(server.spectral);
        return -1;
    }
    ce = spectral_start_background(server.spectral);
    if (ce != ConfigError::Success) {
        log_text("Failed to start spectral scanning: %s\n", config_error_message(ce));
        spectral_config_cleanup(server.spectral);
        return -1;
    }
    const char *path = spectral_sample_path(server.spectral);
    SourceError se = source_init(server.source, *found.driver, path);
    if (se != SourceError::Success) {
        log_text("Failed to initialize spectral source %s: %s\n", path, source_error_message(se));
        spectral_config_cleanup(server.spectral);
        return -1;
    }
    log_text("Initialized spectral source: %s with driver %s\n", path, found.driver->name);
    // Optional: without it the sample step adds to each client directly.
    server.pool = sample_pool_new();
    return 0;
}

void server_teardown(Server &server)
{
    drop_all_clients(server);
    server_air_free(server);
    // Leaving in the middle of a client's active sweep would keep the
    // primaries down (the access point off the air) and the driver's
    // settings zeroed: put both back first.
    client_sweep_teardown(server);
    source_free(&server.source);
    sample_pool_free(server.pool);
    server.pool = nullptr;
    // Stops the scan ("disable") unless the set-up never got that far.
    if (server.spectral.directory[0] != '\0')
        spectral_config_cleanup(server.spectral);
    if (server.listen_fd >= 0)
        close(server.listen_fd);
    server.listen_fd = -1;
}
