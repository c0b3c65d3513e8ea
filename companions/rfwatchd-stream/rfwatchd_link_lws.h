// Drives a DaemonLink from a libwebsockets loop (lws_watch.h): the connected
// descriptor is watched there (the link alone reads and writes it) and the
// retries run on the watch's timer.
#pragma once

#include "lws_watch.h"
#include "rfwatchd_link.h"

struct DaemonLinkLws {
    DaemonLink *link;
    LwsWatch watch;
};

void link_lws_init(DaemonLinkLws &a, DaemonLink &link, struct lws_context *context,
                   struct lws_vhost *vhost);
// Connects now; while that fails, again every LINK_RETRY_US.
void link_lws_start(DaemonLinkLws &a);
// Stops the retries (before the lws context goes).
void link_lws_stop(DaemonLinkLws &a);
// link_submit, and a write as soon as the socket takes one.
LinkSubmit link_lws_submit(DaemonLinkLws &a, std::string_view command, uint64_t tag);
