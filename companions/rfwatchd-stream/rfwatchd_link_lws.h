// SPDX-License-Identifier: MIT
// Drives a DaemonLink from a libwebsockets loop through a watch
// (lws_watch.h): the connected descriptor is watched there (the link alone
// reads and writes it) and the retries run on the watch's timer. Stop it
// with lws_watch_stop before the lws context goes.
#pragma once

#include "lws_watch.h"
#include "rfwatchd_link.h"

// Connects now; while that fails, and once the connection is lost, again
// every LINK_RETRY_US.
void link_lws_start(LwsWatch &w, DaemonLink &link, struct lws_context *context,
                    struct lws_vhost *vhost);
// link_submit, and a write as soon as the socket takes one.
LinkSubmit link_lws_submit(LwsWatch &w, std::string_view command, uint64_t tag);
