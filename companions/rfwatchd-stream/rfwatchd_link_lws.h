// Drives a DaemonLink from a libwebsockets loop: the connected descriptor
// is adopted as a raw file (so the link alone reads and writes it) and the
// retries run on an lws timer. A program lists LINK_LWS_PROTOCOL_NAME with
// link_lws_callback among its vhost's protocols.
#pragma once

#include "rfwatchd_link.h"

#include <libwebsockets.h>

struct DaemonLinkLws {
    DaemonLink *link;
    struct lws_context *context;
    struct lws_vhost *vhost;
    struct lws *wsi; // the adopted descriptor while connected
    bool stopping;   // the program is ending: no more reconnecting
    lws_sorted_usec_list_t retry_timer;
};

extern const char *const LINK_LWS_PROTOCOL_NAME;
int link_lws_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                      size_t len);

void link_lws_init(DaemonLinkLws &a, DaemonLink &link, struct lws_context *context,
                   struct lws_vhost *vhost);
// Connects now; while that fails, again every LINK_RETRY_US.
void link_lws_start(DaemonLinkLws &a);
// Stops the retries (before the lws context goes).
void link_lws_stop(DaemonLinkLws &a);
// link_submit, and a write as soon as the socket takes one.
LinkSubmit link_lws_submit(DaemonLinkLws &a, std::string_view command, uint64_t tag);
