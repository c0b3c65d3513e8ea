// Drives a BrokerClient from a libwebsockets loop: a duplicate of
// libmosquitto's socket is adopted as a raw descriptor (lws closes what it
// adopts, libmosquitto its own: each gets one), and an lws timer runs the
// client's tick. A separate target, so the poll() users need no
// libwebsockets.
#pragma once

#include "broker_client.h"

#include <cstdint>
#include <libwebsockets.h>

struct BrokerLws;
// The timer and its owner: the owner is no plain record, so the timer
// cannot find it by offset.
struct BrokerLwsTimer {
    lws_sorted_usec_list_t sul;
    BrokerLws *owner;
};

struct BrokerLws {
    BrokerClient *client = nullptr;
    struct lws_context *context = nullptr;
    struct lws_vhost *vhost = nullptr;
    const char *protocol = nullptr; // its callback calls broker_lws_callback
    struct lws *wsi = nullptr;      // watches the duplicate socket
    uint64_t watched_attempt = 0;   // the attempt whose socket wsi watches
    bool stopping = false;
    BrokerLwsTimer timer;
};

// Connects at once, then keeps the client connected with its back-off.
void broker_lws_start(BrokerLws &l, BrokerClient &c, struct lws_context *context,
                      struct lws_vhost *vhost, const char *protocol);
void broker_lws_stop(BrokerLws &l);
// After a publish: the bytes go out on the next writable turn.
void broker_lws_flush(BrokerLws &l);
// For the protocol's raw-file reasons; lws's return value.
int broker_lws_callback(BrokerLws &l, enum lws_callback_reasons reason);
