// SPDX-License-Identifier: MIT
#include "fleet_radios.h"

#include <algorithm>
#include <cstdio>
#include <utility>

int fleet_radio_id(FleetRadios &t, std::string_view node, std::string_view radio, int64_t now_us,
                   FleetAdded *how)
{
    std::string key(node);
    key.append("/").append(radio);
    if (const auto found = t.ids.find(key); found != t.ids.end()) {
        t.radios[static_cast<size_t>(found->second)].heard_us = now_us;
        if (how != nullptr)
            *how = FleetAdded::Known;
        return found->second;
    }
    FleetRadio fresh{std::string(node), std::string(radio), true, false, {}, now_us, {}};
    int id = 0;
    FleetAdded added = FleetAdded::New;
    if (t.radios.size() < FLEET_MAX_RADIOS) {
        id = static_cast<int>(t.radios.size());
        t.radios.push_back(std::move(fresh));
    } else {
        // A forgotten place first, else the one silent longest.
        const auto place = std::ranges::min_element(t.radios, [](const auto &a, const auto &b) {
            return a.in_use != b.in_use ? !a.in_use : a.heard_us < b.heard_us;
        });
        id = static_cast<int>(place - t.radios.begin());
        if (place->in_use) {
            t.ids.erase(place->node + "/" + place->radio);
            t.evicted++;
        }
        *place = std::move(fresh);
        added = FleetAdded::Replaced;
    }
    t.ids.emplace(std::move(key), id);
    if (how != nullptr)
        *how = added;
    return id;
}

void fleet_radios_expire(FleetRadios &t, int64_t now_us, void (*gone)(void *, int), void *context)
{
    for (size_t i = 0; i < t.radios.size(); i++) {
        FleetRadio &r = t.radios[i];
        if (!r.in_use || now_us - r.heard_us < FLEET_SILENT_US)
            continue;
        r.in_use = false;
        t.ids.erase(r.node + "/" + r.radio);
        gone(context, static_cast<int>(i));
    }
}

bool fleet_radio_live(const FleetRadio &r)
{
    return r.in_use && r.status_known && r.status.online && r.status.daemon_connected;
}
