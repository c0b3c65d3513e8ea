// rfwatch-web's one connection to rfwatchd: reads its lines into frames for
// every browser, writes the browsers' commands one per write and spaced, and
// reconnects every second while the daemon is not there.
#pragma once

#include "line_buffer.h"

#include <array>
#include <cstdint>
#include <libwebsockets.h>
#include <string>
#include <string_view>

struct WebServer;

// Bounded: a browser that sends faster than the daemon should take
// commands gets an error, not an ever longer queue.
constexpr size_t LINK_COMMANDS = 8;
// rfwatchd takes only the first JSON value of a read, so commands must
// reach it on separate reads.
constexpr int64_t LINK_COMMAND_GAP_US = 200000;
constexpr int64_t LINK_RECONNECT_US = 1000000;

struct PendingCommand {
    std::string json;
    unsigned browser_id; // who asked, for the echo or the error
};

struct DaemonLink {
    WebServer *server;
    std::string socket_path;
    int fd;          // -1: not connected
    struct lws *wsi; // the adopted descriptor while connected
    bool connected;
    bool stopping; // the program is ending: no more reconnecting
    LineBuffer lines_in;
    uint64_t lines;   // lines read from the daemon
    uint64_t dropped; // lines not sent on (too long, not a spectrum line)
    std::array<PendingCommand, LINK_COMMANDS> commands;
    size_t command_head, command_count;
    int64_t last_write_us; // monotonic time of the last command written
    lws_sorted_usec_list_t reconnect_timer;
    lws_sorted_usec_list_t command_timer;
};

void link_init(DaemonLink &l, WebServer &server, std::string_view socket_path);
// Tries to connect now; on failure retries every second.
void link_start(DaemonLink &l);
// Stops the timers (before the lws context goes).
void link_stop(DaemonLink &l);
// Queues a command for rfwatchd; false: error says why it was refused.
bool link_submit(DaemonLink &l, std::string_view json, unsigned browser_id, std::string &error);

// The lws protocol that carries the daemon's descriptor.
extern const char *const LINK_PROTOCOL_NAME;
int link_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len);
