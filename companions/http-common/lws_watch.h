// One descriptor watched and one timer run from a libwebsockets loop for an
// owner record (the daemon link, the broker client), which alone reads and
// writes the descriptor. A program lists LWS_WATCH_PROTOCOL_NAME with
// lws_watch_callback among its vhost's protocols.
#pragma once

#include <cstdint>
#include <libwebsockets.h>

struct LwsWatch;

// The owner's side of the watch.
struct LwsWatchHooks {
    // The descriptor may be read or written; nonzero asks lws to close it.
    int (*io)(LwsWatch &w, bool readable, bool writable);
    // lws closed the descriptor (on request, or for its own reasons).
    void (*closed)(LwsWatch &w);
    void (*timer)(LwsWatch &w);
};

struct LwsWatch {
    LwsWatchHooks hooks;
    void *owner;
    struct lws_context *context;
    struct lws_vhost *vhost;
    struct lws *wsi; // watches the descriptor; nullptr: none
    bool stopping;   // the program is ending: no hook runs any more
    lws_sorted_usec_list_t sul;
};

extern const char *const LWS_WATCH_PROTOCOL_NAME;
int lws_watch_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                       size_t len);

void lws_watch_init(LwsWatch &w, LwsWatchHooks hooks, void *owner, struct lws_context *context,
                    struct lws_vhost *vhost);
// Watches fd, which lws then owns and closes.
bool lws_watch_adopt(LwsWatch &w, int fd);
// A writable turn, when a descriptor is watched.
void lws_watch_writable(LwsWatch &w);
// The timer hook runs after delay_us (in place of a time set before).
void lws_watch_schedule(LwsWatch &w, int64_t delay_us);
// No hook runs any more (before the lws context goes).
void lws_watch_stop(LwsWatch &w);
