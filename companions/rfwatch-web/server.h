// SPDX-License-Identifier: MIT
// rfwatch-web's server: one libwebsockets loop serving the page over HTTP,
// the live frames over WebSocket, fed by one radio source (radio_source.h).
#pragma once

#include "access_options.h"
#include "air_line.h"
#include "browser_queue.h"
#include "daemon_link.h"
#include "fleet_link.h"
#include "http_gate.h"
#include "radio_source.h"

#include <array>
#include <bitset>
#include <libwebsockets.h>
#include <string>
#include <string_view>

// More would let browsers take the machine's memory and the AP's CPU.
constexpr size_t MAX_BROWSERS = 16;
// Connections of any kind (a page load takes a few, each browser one
// more), and of those from one address: enough for a room full of
// browsers, few enough that idle sockets cannot take every descriptor.
constexpr size_t MAX_CONNECTIONS = 256;
constexpr size_t MAX_CONNECTIONS_PER_PEER = 48;
// A browser sends its request at once; an idle socket gets this long.
constexpr unsigned REQUEST_DEADLINE_S = 5;
// A browser answers lws's pings by itself; one that has not for this long
// is gone (or is no browser) and its place is given back.
constexpr int BROWSER_TIMEOUT_S = 60;
constexpr const char *WS_PATH = "/ws";
constexpr const char *WS_PROTOCOL_NAME = "rfwatch";

struct WebOptions {
    std::string socket_path = "rfwatchd.sock";
    HttpAccess access = access_defaults(8080);
    bool read_only = false;
    int browser_timeout_s = BROWSER_TIMEOUT_S;
    bool fleet = false; // --mqtt: radios from the broker, not a socket
    FleetOptions fleet_options;
};

struct Browser {
    struct lws *wsi; // nullptr: slot free
    unsigned id;
    BrowserQueue queue;
    std::array<char, BROWSER_TEXT_MAX> rx; // a text message arriving in pieces
    size_t rx_len;
    bool rx_overlong;
    int radio;                                 // the radio shown, -1 none chosen yet
    std::bitset<FLEET_MAX_RADIOS> radios_owed; // radio list entries to send
};

struct WebServer {
    WebOptions options;
    std::string token; // empty: no token required
    struct lws_context *context;
    struct lws_vhost *vhost;
    HttpGate gate;
    lws_retry_bo_t idle_policy; // the browsers' pings
    std::array<Browser, MAX_BROWSERS> browsers;
    size_t browser_count;
    unsigned next_browser_id;
    const RadioSource *source;
    WebDaemon daemon; // the source: one rfwatchd
    FleetLink fleet;  // or, with --mqtt, the fleet's broker
};

// Creates the context and starts listening and connecting; false: error says
// why (the caller exits with 1).
bool server_start(WebServer &s, std::string &error);
// The port actually listened on (useful with port 0).
int server_port(const WebServer &s);
void server_stop(WebServer &s);

// The source's events. Radio id appeared, changed or was forgotten; with
// -1, the source's own connection came or went.
void server_radio_changed(WebServer &s, int id);
// The radio id now stands for another radio (the old one was silent long).
void server_radio_replaced(WebServer &s, int id);
void server_radio_frame(WebServer &s, int id, const SpectrumFrame &f);
// An air line of radio id that passed parse_air_line (air is its record).
void server_radio_air(WebServer &s, int id, std::string_view line, const AirLine &air);
// The browser's command json went on (error empty) or could not.
void server_command_done(WebServer &s, unsigned browser_id, std::string_view json,
                         std::string_view error);

// The HTTP side (http_serve.cpp): the page, the token cookie, and which
// upgrades to WebSocket are allowed.
int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len); // its session memory: an HttpBody (http_reply.h)
