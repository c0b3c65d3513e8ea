// SPDX-License-Identifier: MIT
// rfwatch-web's fleet mode: instead of one rfwatchd socket, the broker that
// every access point's rfwatch-mqtt publishes to, through the shared client
// driven from the libwebsockets loop (broker_lws.h). What is the page's
// own: the table of radios and the commands it sends them.
#pragma once

#include "broker_lws.h"
#include "broker_url.h"
#include "fleet_radios.h"

#include <cstdint>
#include <libwebsockets.h>
#include <string>
#include <string_view>

struct WebServer;

// Commands handed to libmosquitto and not yet confirmed by the broker: a
// page cannot make its queue grow past this.
constexpr int FLEET_COMMANDS_IN_FLIGHT = 8;
// What the broker may send us (MQTT 5's maximum packet size), beyond the
// topic: the longest line rfwatch-mqtt publishes (a compact frame is
// shorter) and room for the packet's own fields. The broker drops larger
// messages for us rather than making an access point hold them.
constexpr uint32_t FLEET_PACKET_BASE = 16384 + 1024;

struct FleetOptions {
    BrokerUrl broker{};
    std::string prefix = "wifidiag";
    std::string password; // empty: none
    std::string cafile;   // empty: the system's store (mqtts)
};

struct FleetLink {
    WebServer *server = nullptr;
    FleetOptions options;
    BrokerClient client{};
    BrokerLws loop;
    bool connected = false; // the broker accepted us and we subscribed
    int in_flight = 0;
    FleetRadios radios;
    uint64_t dropped = 0; // payloads that were no spectrum, or no air line on the air topic
    LwsWatch expiry{};    // its timer alone
};

// Copies the options; connects at once and retries with back-off (1 s to 30 s).
void fleet_start(FleetLink &f, WebServer &server, FleetOptions options);
void fleet_stop(FleetLink &f);
// Publishes json on the radio's command topic; false: error says why not.
bool fleet_submit(FleetLink &f, int radio, std::string_view json, std::string &error);
// Whether the radio is delivering as far as the page is concerned.
bool fleet_radio_connected(const FleetLink &f, int radio);
