// SPDX-License-Identifier: MIT
// Drives the radio-control library against real radios, for the scenarios
// run in the emulated access point. One operation per run; results go to
// standard output as key=value lines, the library's own lines to standard
// error.
//
//   radio_probe discover NAME
//   radio_probe channel NAME
//   radio_probe set NAME FREQ WIDTH
//   radio_probe active MONITOR FROM TO DWELL [PRIMARY...]
//   radio_probe agile MONITOR FROM TO STEP DWELL
//
// The two sweeps run, hopping as the daemon's main loop does, until SIGTERM
// or SIGINT, then cancel and exit.
#include "capture/scan_driver.h"
#include "capture/spectral_config.h"
#include "radio/channel_plan.h"
#include "radio/channel_set.h"
#include "radio/current_channel.h"
#include "radio/discovery.h"
#include "radio/radio_control.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace
{

volatile sig_atomic_t stop_requested = 0;

void on_signal(int)
{
    stop_requested = 1;
}

uint32_t number(const char *text)
{
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}

int result(const char *what, RadioError rc)
{
    std::printf("%s=%d (%s)\n", what, static_cast<int>(rc), radio_error_message(rc));
    std::fflush(stdout);
    return rc == RadioError::Success ? 0 : 1;
}

struct Probe {
    std::unique_ptr<DiscoveredInterface> found = std::make_unique<DiscoveredInterface>();
    std::unique_ptr<SpectralConfig> spectral = std::make_unique<SpectralConfig>();
    std::unique_ptr<RadioControl> rc = std::make_unique<RadioControl>();
};

// Discovery and set-up as the daemon does them; the band comes from the
// monitor's current channel here, since no sample is decoded.
bool set_up(Probe &p, const char *monitor, char **primaries, int primary_count)
{
    if (discover_interface(monitor, p.found->monitor) != RadioError::Success)
        return false;
    for (int i = 0; i < primary_count && i < int(MAX_PRIMARIES); i++)
        if (discover_interface(primaries[i], p.found->primaries[p.found->primary_count++]) !=
            RadioError::Success)
            return false;
    init_radio_control(*p.rc, *p.found, *p.spectral);
    // A monitor beside an active AP has no channel of its own; the phy's
    // channel is then the AP's.
    auto ask = std::make_unique<RadioControl>(*p.rc);
    for (uint32_t i = 0; i <= p.rc->primary_count && p.rc->band == Band::BandUnknown; i++) {
        if (i > 0)
            ask->monitor = p.rc->primaries[i - 1];
        CurrentChannel now{};
        if (query_current_channel(*ask, now) != RadioError::Success)
            return false;
        p.rc->band = band_of_frequency(now.frequency);
    }
    std::printf("band=%d\n", static_cast<int>(p.rc->band));
    return true;
}

int run_sweep(Probe &p, const SweepRequest &request)
{
    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    RadioError rc = start_sweep(*p.rc, request);
    std::printf("channels=%u\n", p.rc->channel_count);
    if (result("start", rc) != 0)
        return 1;
    std::printf("tuned=%u\n", p.rc->channel_freq[0]);
    std::fflush(stdout);
    while (!stop_requested && sweep_active(*p.rc)) {
        if (sweep_expired(*p.rc) && sweep_finished(*p.rc)) {
            cancel_sweep(*p.rc);
            break;
        }
        if (hop_due(*p.rc)) {
            RadioError hop = advance_sweep(*p.rc);
            std::printf("hop=%u rc=%d\n", p.rc->channel_freq[p.rc->channel_index],
                        static_cast<int>(hop));
            std::fflush(stdout);
        }
        usleep(1000);
    }
    result("cancel", cancel_sweep(*p.rc));
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: radio_probe discover|channel|set|active|agile ...\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const char *op = argv[1];
    Probe p;
    if (std::strcmp(op, "discover") == 0) {
        InterfaceInfo &info = p.found->monitor;
        RadioError rc = discover_interface(argv[2], info);
        if (rc == RadioError::Success)
            std::printf("name=%s\nifindex=%d\nphy=%u\n", info.name, info.ifindex, info.phy);
        return result("discover", rc);
    }
    if (std::strcmp(op, "channel") == 0) {
        RadioError rc = discover_interface(argv[2], p.found->monitor);
        if (rc != RadioError::Success)
            return result("discover", rc);
        init_radio_control(*p.rc, *p.found, *p.spectral);
        CurrentChannel now{};
        rc = query_current_channel(*p.rc, now);
        std::printf("width=%u\nfrequency=%u\nfound=%d\n", now.width, now.frequency,
                    now.frequency_found ? 1 : 0);
        return result("query", rc);
    }
    if (std::strcmp(op, "set") == 0 && argc == 5) {
        RadioError rc = discover_interface(argv[2], p.found->monitor);
        if (rc != RadioError::Success)
            return result("discover", rc);
        init_radio_control(*p.rc, *p.found, *p.spectral);
        p.rc->sweep_type = SweepType::Active; // the road that retunes the phy
        return result("set", set_channel(*p.rc, number(argv[3]), number(argv[4])));
    }
    if (std::strcmp(op, "active") == 0 && argc >= 6) {
        if (!set_up(p, argv[2], argv + 6, argc - 6))
            return result("setup", RadioError::MonitorNotFound);
        return run_sweep(
            p, {SweepType::Active, number(argv[3]), number(argv[4]), 0, 0, 0, number(argv[5])});
    }
    if (std::strcmp(op, "agile") == 0 && argc == 7) {
        if (!set_up(p, argv[2], nullptr, 0))
            return result("setup", RadioError::MonitorNotFound);
        const ScanDriver *driver = find_spectral_driver(p.rc->monitor.phy);
        if (!driver)
            return result("driver", RadioError::PhyNotFound);
        char dir[SPECTRAL_DIR_SIZE];
        std::snprintf(dir, sizeof dir, "/sys/kernel/debug/ieee80211/phy%u/%s", p.rc->monitor.phy,
                      driver->name);
        if (spectral_config_init(*p.spectral, dir) != ConfigError::Success)
            return result("spectral", RadioError::InvalidParameters);
        return run_sweep(p, {SweepType::Agile, number(argv[3]), number(argv[4]), 0, number(argv[5]),
                             0, number(argv[6])});
    }
    return usage();
}
