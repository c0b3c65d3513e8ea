// SPDX-License-Identifier: MIT
// One descriptor watched and one timer run from a libwebsockets loop for an
// owner record (the daemon link, the broker client), which alone reads and
// writes the descriptor. A program lists LWS_WATCH_PROTOCOL_NAME with
// lws_watch_callback among its vhost's protocols.
#pragma once

#include <cstdint>
#include <libwebsockets.h>

enum class LwsWatchEvent { Readable, Writable, Closed, Timer };

struct LwsWatch;
// The owner's answer: nonzero asks lws to close the descriptor. Closed: lws
// closed it (on request, or for its own reasons).
using LwsWatchHook = int (*)(LwsWatch &w, LwsWatchEvent e);

struct LwsWatch {
    LwsWatchHook hook;
    void *owner;
    struct lws_context *context;
    struct lws_vhost *vhost;
    struct lws *wsi; // watches the descriptor; nullptr: none
    bool stopping;   // the program is ending: the hook runs no more
    lws_sorted_usec_list_t sul;
};

extern const char *const LWS_WATCH_PROTOCOL_NAME;
int lws_watch_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                       size_t len);

void lws_watch_init(LwsWatch &w, LwsWatchHook hook, void *owner, struct lws_context *context,
                    struct lws_vhost *vhost);
// Watches fd, which lws then owns and closes.
bool lws_watch_adopt(LwsWatch &w, int fd);
// A writable turn, when a descriptor is watched.
void lws_watch_writable(LwsWatch &w);
// The Timer event comes after delay_us (in place of one set before).
void lws_watch_schedule(LwsWatch &w, int64_t delay_us);
// The hook runs no more (before the lws context goes).
void lws_watch_stop(LwsWatch &w);
