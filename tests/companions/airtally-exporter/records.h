// SPDX-License-Identifier: MIT
// Hand-made libairtally records for the exporter's tests, linked as the
// library links them.
#pragma once

#include "airtally.h"

#include <cstring>
#include <utility>
#include <vector>

namespace airtally_exporter_test
{

// Records linked as the library links them: a ring from a head.
template <typename R> struct List {
    R head{};
    std::vector<R> records;
    explicit List(std::vector<R> r) : records(std::move(r))
    {
        R *prev = &head;
        for (R &rec : records) {
            prev->next = &rec;
            rec.prev = prev;
            prev = &rec;
        }
        prev->next = &head;
        head.prev = prev;
    }
};

inline radio_stat radio(uint32_t phy, const char *name, uint32_t freq, uint8_t modes)
{
    radio_stat r{};
    r.phy = phy;
    strcpy(r.phy_name, name);
    strcpy(r.ifname, "wlan0");
    strcpy(r.country, "FI");
    const uint8_t mac[6] = {0x02, 0, 0, 0, 0, 0x0a};
    memcpy(r.mac, mac, 6);
    r.freq = freq;
    r.chan_width = 20;
    r.tx_power = 20;
    r.antenna_tx = 3;
    r.antenna_rx = 1;
    r.phy_modes = modes;
    return r;
}

inline vap_stat vap(uint32_t ifindex, const char *name, uint32_t iftype, const char *ssid)
{
    vap_stat v{};
    v.ifindex = ifindex;
    strcpy(v.ifname, name);
    v.iftype = iftype;
    strncpy(v.ssid, ssid, sizeof(v.ssid));
    const uint8_t mac[6] = {0x02, 0, 0, 0, 1, 0xff};
    memcpy(v.mac, mac, 6);
    v.phy = 1;
    return v;
}

} // namespace airtally_exporter_test
