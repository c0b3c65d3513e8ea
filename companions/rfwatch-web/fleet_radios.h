// What a fleet-mode rfwatch-web knows of the radios publishing to the broker:
// their topics, their last status, and the page's messages about them. The
// table is bounded, so a flood of new topics cannot take the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

constexpr size_t FLEET_MAX_RADIOS = 1024;
constexpr size_t FLEET_NAME_MAX = 64;

enum class FleetTopic { Spectrum, Status };

struct FleetTopicParts {
    FleetTopic kind;
    std::string_view node, radio;
};

// PREFIX/NODE/RADIO/spectrum or .../status. Names are 1 to FLEET_NAME_MAX
// printable ASCII characters other than / + # " and \ (they travel to the
// page and back into topics); false for anything else.
bool fleet_topic_parse(std::string_view prefix, std::string_view topic, FleetTopicParts &out);

// PREFIX/NODE/RADIO/command.
std::string fleet_command_topic(std::string_view prefix, std::string_view node,
                                std::string_view radio);

struct FleetStatus {
    bool online = false;
    bool daemon_connected = false;
    uint64_t lines = 0, dropped = 0;
};

// {"state":"online"|"offline","daemon":"connected"|"unreachable","lines":N,
// "dropped":N}; false when a field is missing or of another kind.
bool fleet_status_parse(std::string_view payload, FleetStatus &out);

struct FleetRadio {
    std::string node, radio;
    bool status_known = false;
    FleetStatus status;
};

struct FleetRadios {
    std::vector<FleetRadio> radios;           // the index is the radio's id on the page
    std::unordered_map<std::string, int> ids; // "NODE/RADIO" -> index
    uint64_t refused = 0;                     // messages of radios beyond the table
};

// The id of node/radio, added when new (then *added is set); -1 when the
// table is full.
int fleet_radio_id(FleetRadios &t, std::string_view node, std::string_view radio,
                   bool *added = nullptr);

// Whether the page should show the radio as delivering.
bool fleet_radio_live(const FleetRadio &r);

// {"type":"radio","id":N,"node":"...","radio":"...","state":"online"|
// "offline"|"unknown","daemon":"connected"|"unreachable"}
std::string fleet_radio_message(int id, const FleetRadio &r);
