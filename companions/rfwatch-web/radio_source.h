// SPDX-License-Identifier: MIT
// Where the radios come from: one rfwatchd, a fleet of one whose radio 0
// every page shows, or the fleet's broker, whose radios the page lists and
// chooses among. A source reports what happens through the server_radio_*
// and server_command_done events (server.h); the server asks it only what
// is below, and alone composes what the browsers are sent.
#pragma once

#include "fleet_air.h"

#include <cstdint>
#include <string>
#include <string_view>

struct WebServer;

enum class RadioState { Unknown, Online, Offline, Expired };

struct RadioInfo {
    std::string_view node, radio; // empty for a single rfwatchd
    RadioState state = RadioState::Unknown;
    bool daemon_connected = false; // as the radio's last status says
    bool delivering = false;       // what the page's status line calls connected
    uint64_t lines = 0, dropped = 0;
    FleetAirSummary air; // the fleet's; a single rfwatchd's air goes to the page whole
};

struct RadioSource {
    bool page_chooses; // the page is sent the radio list and selects one
    void (*start)(WebServer &s);
    void (*stop)(WebServer &s);
    int (*radio_count)(const WebServer &s);
    // Radio id, or (id -1, or unknown) none: nothing delivering.
    RadioInfo (*radio)(const WebServer &s, int id);
    // Hands json on for radio id; its fate comes as server_command_done.
    // false: refused at once, error says why.
    bool (*submit)(WebServer &s, int id, std::string_view json, unsigned browser_id,
                   std::string &error);
};

extern const RadioSource DAEMON_SOURCE; // daemon_link.cpp
extern const RadioSource FLEET_SOURCE;  // fleet_source.cpp
