// SPDX-License-Identifier: MIT
#include "metrics_text.h"

#include "exposition.h"
#include "names.h"

#include <cstring>
#include <string_view>

namespace airtally_exporter
{

namespace
{

constexpr double kHertzPerMegahertz = 1e6;

constexpr const char *kErrorSourceNames[] = {"init", "nl80211", "control_socket"};
static_assert(std::size(kErrorSourceNames) == ERROR_SOURCES);

// The library's text fields are fixed-size arrays that may lack their NUL.
template <size_t N> std::string_view field(const char (&f)[N])
{
    return {f, strnlen(f, N)};
}

// "" when the kernel did not report the phy's modes at all, so that a
// missing report does not read as "no HT".
const char *mode_label(uint8_t modes, unsigned bit)
{
    if (!(modes & AIRTALLY_MODE_REPORTED))
        return "";
    return (modes & bit) ? "true" : "false";
}

// One gauge per radio, labelled by the phy index only (join the info metric
// for names).
struct RadioGauge {
    const char *name;
    const char *help;
    double (*value)(const radio_stat &r);
    bool needs_channel; // absent while the radio has no channel in use
};

constexpr RadioGauge kRadioGauges[] = {
    {"airtally_radio_frequency_hertz", "Centre frequency of the radio's channel.",
     [](const radio_stat &r) { return r.freq * kHertzPerMegahertz; }, true},
    {"airtally_radio_channel_width_hertz", "Width of the radio's channel.",
     [](const radio_stat &r) { return r.chan_width * kHertzPerMegahertz; }, true},
    {"airtally_radio_tx_power_dbm",
     "Transmit power of the radio in dBm, truncated to whole dBm (0 when not reported).",
     // The library stores dBm as two's complement in a byte: a negative power
     // must not read as 251.
     [](const radio_stat &r) { return static_cast<double>(static_cast<int8_t>(r.tx_power)); },
     false},
    {"airtally_radio_antenna_tx_mask",
     "Configured transmit antennas, a bitmap (low 8 bits; 0 when not reported).",
     [](const radio_stat &r) { return static_cast<double>(r.antenna_tx); }, false},
    {"airtally_radio_antenna_rx_mask",
     "Configured receive antennas, a bitmap (low 8 bits; 0 when not reported).",
     [](const radio_stat &r) { return static_cast<double>(r.antenna_rx); }, false},
};

void append_radio_info(std::string &out, const radio_stat *radios)
{
    append_family(out, "airtally_radio_info", "gauge",
                  "Names of a radio (wireless phy), one series per radio with value 1.");
    for (const radio_stat *r = radios->next; r != radios; r = r->next) {
        const std::string phy = std::to_string(r->phy);
        const std::string mac = airtally_names::mac_text(r->mac);
        const Label labels[] = {
            {"phy", phy},
            {"phy_name", field(r->phy_name)},
            {"interface", field(r->ifname)},
            {"mac", mac},
            {"country", field(r->country)},
            {"ht", mode_label(r->phy_modes, AIRTALLY_MODE_HT)},
            {"vht", mode_label(r->phy_modes, AIRTALLY_MODE_VHT)},
            {"he", mode_label(r->phy_modes, AIRTALLY_MODE_HE)},
        };
        append_sample(out, "airtally_radio_info", labels, 1);
    }
}

void append_radio_gauges(std::string &out, const radio_stat *radios)
{
    for (const RadioGauge &g : kRadioGauges) {
        append_family(out, g.name, "gauge", g.help);
        for (const radio_stat *r = radios->next; r != radios; r = r->next) {
            if (g.needs_channel && r->freq == 0)
                continue;
            const std::string phy = std::to_string(r->phy);
            const Label labels[] = {{"phy", phy}};
            append_sample(out, g.name, labels, g.value(*r));
        }
    }
}

void append_interface_info(std::string &out, const vap_stat *vaps)
{
    append_family(out, "airtally_interface_info", "gauge",
                  "Names and security of a wireless interface, one series per interface with "
                  "value 1. Suites and wpa are empty when unknown or unused.");
    for (const vap_stat *v = vaps->next; v != vaps; v = v->next) {
        const std::string ifindex = std::to_string(v->ifindex);
        const std::string phy = std::to_string(v->phy);
        const std::string mac = airtally_names::mac_text(v->mac);
        const std::string key_mgmt = airtally_names::key_mgmt_name(v->key_mgmt);
        const std::string pairwise = airtally_names::cipher_name(v->pairwise_cipher);
        const std::string group = airtally_names::cipher_name(v->group_cipher);
        const Label labels[] = {
            {"ifindex", ifindex},
            {"interface", field(v->ifname)},
            {"phy", phy},
            {"mac", mac},
            {"type", airtally_names::iftype_name(v->iftype)},
            {"ssid", field(v->ssid)},
            {"wpa", airtally_names::wpa_name(v->wpa)},
            {"key_mgmt", key_mgmt},
            {"pairwise_cipher", pairwise},
            {"group_cipher", group},
        };
        append_sample(out, "airtally_interface_info", labels, 1);
    }
}

void append_own(std::string &out, const ExporterCounters &c)
{
    append_family(out, "airtally_exporter_scrape_duration_seconds", "gauge",
                  "Time this scrape spent reading nl80211 and the control sockets.");
    append_sample(out, "airtally_exporter_scrape_duration_seconds", {}, c.scrape_seconds);
    append_family(out, "airtally_exporter_scrapes_total", "counter",
                  "Scrapes answered since the exporter started, this one included.");
    append_sample(out, "airtally_exporter_scrapes_total", {}, static_cast<double>(c.scrapes));
    append_family(out, "airtally_exporter_scrape_errors_total", "counter",
                  "Library calls that reported a failure, by source (init: no nl80211 handle; "
                  "nl80211: a dump; control_socket: a daemon missing or not answering).");
    for (size_t i = 0; i < ERROR_SOURCES; ++i) {
        const Label labels[] = {{"source", kErrorSourceNames[i]}};
        append_sample(out, "airtally_exporter_scrape_errors_total", labels,
                      static_cast<double>(c.errors[i]));
    }
}

} // namespace

const char *error_source_name(ErrorSource s)
{
    return kErrorSourceNames[static_cast<size_t>(s)];
}

std::string render_metrics(const radio_stat *radios, const vap_stat *vaps,
                           const ExporterCounters &counters)
{
    std::string out;
    append_radio_info(out, radios);
    append_radio_gauges(out, radios);
    append_interface_info(out, vaps);
    append_own(out, counters);
    return out;
}

} // namespace airtally_exporter
