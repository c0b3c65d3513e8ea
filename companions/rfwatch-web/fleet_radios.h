// SPDX-License-Identifier: MIT
// What a fleet-mode rfwatch-web knows of the radios publishing to the broker:
// their topics and their last status. The table is bounded, so a flood of
// new topics cannot take the memory, and a radio silent for long gives its
// place up, so a flood cannot keep real radios out either.
#pragma once

#include "fleet_air.h"
#include "fleet_contract.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

constexpr size_t FLEET_MAX_RADIOS = 1024;
// A radio neither status nor spectrum was heard of for this long is
// forgotten. rfwatch-mqtt publishes its status at least every 5 minutes,
// so a running one never gets there.
constexpr int64_t FLEET_SILENT_US = int64_t{15} * 60 * 1000000;

struct FleetRadio {
    std::string node, radio;
    bool in_use = true; // false: forgotten (silent too long); its place is free
    bool status_known = false;
    FleetStatus status;
    int64_t heard_us = 0; // the last status or spectrum (monotonic)
    FleetAir air;         // its latest air lines
};

struct FleetRadios {
    std::vector<FleetRadio> radios;           // the index is the radio's id on the page
    std::unordered_map<std::string, int> ids; // "NODE/RADIO" -> index, in use only
    uint64_t evicted = 0; // radios pushed out of a full table while not yet silent long
};

enum class FleetAdded {
    Known,   // heard of before
    New,     // in a place never used
    Replaced // in the place of a forgotten or evicted radio: that id is another radio now
};

// The id of node/radio, heard of at now_us. A new radio takes a free place;
// in a full table, a forgotten radio's place, else that of the radio
// silent longest: the newcomer is never refused.
int fleet_radio_id(FleetRadios &t, std::string_view node, std::string_view radio, int64_t now_us,
                   FleetAdded *how = nullptr);

// Forgets the radios silent for FLEET_SILENT_US at now_us, calling
// gone(context, id) for each.
void fleet_radios_expire(FleetRadios &t, int64_t now_us, void (*gone)(void *, int), void *context);

// Whether the page should show the radio as delivering.
bool fleet_radio_live(const FleetRadio &r);
