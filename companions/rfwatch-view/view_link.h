// SPDX-License-Identifier: MIT
// rfwatch-view's use of the shared daemon link: one connection, no
// reconnecting (a viewer without its daemon says so and ends), the command
// line's commands queued in order, lines handed to whichever view runs.
#pragma once

#include "rfwatchd_link.h"

#include <poll.h>
#include <string>
#include <vector>

struct ViewLink {
    DaemonLink daemon;
    std::vector<std::string> commands; // from the command line, in order
    size_t queued;                     // how many were handed to the link
    bool reading;                      // false with --stall: commands go, lines stay unread
    int status;                        // 0 while connected; 1 a write failed, 2 the daemon closed
    LineSink line;                     // where lines go
    void *line_context;
};

// Connects (waiting up to 30 s while the daemon's backlog is full); false
// (after saying why on stderr) when the daemon is not there.
bool view_link_open(ViewLink &v, const char *path, std::vector<std::string> commands, bool reading);
// What to poll for the link (fd -1: nothing to wait for on it).
pollfd view_link_poll(const ViewLink &v);
// Handles poll's revents; false once the connection is over (v.status).
bool view_link_handle(ViewLink &v, short revents);
