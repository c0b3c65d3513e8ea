// SPDX-License-Identifier: MIT
// Drives a BrokerClient from a libwebsockets loop (lws_watch.h): a duplicate
// of libmosquitto's socket is watched there (lws closes what it adopts,
// libmosquitto its own: each gets one), and the watch's timer runs the
// client's tick. A separate target, so the poll() users need no
// libwebsockets.
#pragma once

#include "broker_client.h"
#include "lws_watch.h"

#include <cstdint>

struct BrokerLws {
    BrokerClient *client = nullptr;
    uint64_t watched_attempt = 0; // the attempt whose socket the watch watches
    LwsWatch watch{};
};

// Connects at once, then keeps the client connected with its back-off.
void broker_lws_start(BrokerLws &l, BrokerClient &c, struct lws_context *context,
                      struct lws_vhost *vhost);
void broker_lws_stop(BrokerLws &l);
// After a publish: the bytes go out on the next writable turn.
void broker_lws_flush(BrokerLws &l);
