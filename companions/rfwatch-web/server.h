// rfwatch-web's server: one libwebsockets loop serving the page over HTTP,
// the live frames over WebSocket, and watching rfwatchd's socket.
#pragma once

#include "browser_queue.h"
#include "daemon_link.h"

#include <array>
#include <libwebsockets.h>
#include <string>
#include <string_view>

// More would let browsers take the machine's memory and the AP's CPU.
constexpr size_t MAX_BROWSERS = 16;
constexpr const char *WS_PATH = "/ws";
constexpr const char *WS_PROTOCOL_NAME = "rfwatch";

struct WebOptions {
    std::string socket_path = "rfwatchd.sock";
    std::string address = "127.0.0.1";
    int port = 8080;
    std::string token_file; // empty: none given
    bool no_auth = false;
    bool read_only = false;
};

struct Browser {
    struct lws *wsi; // nullptr: slot free
    unsigned id;
    BrowserQueue queue;
    std::array<char, BROWSER_TEXT_MAX> rx; // a text message arriving in pieces
    size_t rx_len;
    bool rx_overlong;
};

struct WebServer {
    WebOptions options;
    std::string token; // empty: no token required
    struct lws_context *context;
    struct lws_vhost *vhost;
    std::array<Browser, MAX_BROWSERS> browsers;
    size_t browser_count;
    unsigned next_browser_id;
    DaemonLink link;
};

// Creates the context and starts listening and connecting; false: error says
// why (the caller exits with 1).
bool server_start(WebServer &s, std::string &error);
// The port actually listened on (useful with port 0).
int server_port(const WebServer &s);
// Serves until stop becomes non-zero.
void server_run(WebServer &s, const volatile int &stop);
void server_stop(WebServer &s);

// For the daemon link.
void server_broadcast_frame(WebServer &s, const SpectrumFrame &f);
void server_broadcast_text(WebServer &s, std::string_view text);
void server_tell(WebServer &s, unsigned browser_id, std::string_view text);

// The HTTP side (http_serve.cpp): the page, the token cookie, and which
// upgrades to WebSocket are allowed.
int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len);
struct HttpSession {
    const struct PageAsset *asset;
    size_t sent;
};
