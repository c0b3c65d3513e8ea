// rfwatch-web's server: one libwebsockets loop serving the page over HTTP,
// the live frames over WebSocket, and watching rfwatchd's socket.
#pragma once

#include "access_options.h"
#include "browser_queue.h"
#include "daemon_link.h"
#include "fleet_link.h"

#include <array>
#include <bitset>
#include <libwebsockets.h>
#include <string>
#include <string_view>

// More would let browsers take the machine's memory and the AP's CPU.
constexpr size_t MAX_BROWSERS = 16;
constexpr const char *WS_PATH = "/ws";
constexpr const char *WS_PROTOCOL_NAME = "rfwatch";

struct WebOptions {
    std::string socket_path = "rfwatchd.sock";
    HttpAccess access = access_defaults(8080);
    bool read_only = false;
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
    int radio;                                 // fleet: the chosen radio, -1 none
    std::bitset<FLEET_MAX_RADIOS> radios_owed; // fleet: radio entries to send
};

struct WebServer {
    WebOptions options;
    std::string token; // empty: no token required
    struct lws_context *context;
    struct lws_vhost *vhost;
    std::array<Browser, MAX_BROWSERS> browsers;
    size_t browser_count;
    unsigned next_browser_id;
    DaemonLink link; // serving one rfwatchd
    FleetLink fleet; // or, with --mqtt, the fleet's broker
};

// Creates the context and starts listening and connecting; false: error says
// why (the caller exits with 1).
bool server_start(WebServer &s, std::string &error);
// The port actually listened on (useful with port 0).
int server_port(const WebServer &s);
void server_stop(WebServer &s);

// For the daemon link.
void server_broadcast_frame(WebServer &s, const SpectrumFrame &f);
void server_broadcast_text(WebServer &s, std::string_view text);
void server_tell(WebServer &s, unsigned browser_id, std::string_view text);

// For the fleet link: radio id changed (heard of, status), or with -1 the
// broker connection did; a frame of radio id.
void server_fleet_changed(WebServer &s, int id);
// The radio id now stands for another radio (the old one was silent long).
void server_fleet_replaced(WebServer &s, int id);
void server_fleet_frame(WebServer &s, int id, const SpectrumFrame &f);

// The HTTP side (http_serve.cpp): the page, the token cookie, and which
// upgrades to WebSocket are allowed.
int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len);
struct HttpSession {
    const struct PageAsset *asset;
    size_t sent;
};
