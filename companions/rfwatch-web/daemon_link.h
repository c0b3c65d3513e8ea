// SPDX-License-Identifier: MIT
// rfwatch-web's one rfwatchd: the shared daemon link in the server's loop,
// a radio source (radio_source.h) whose radio 0 every browser is shown.
#pragma once

#include "rfwatchd_link_lws.h"

#include <cstdint>

struct WebDaemon {
    DaemonLink link;
    LwsWatch loop;
    uint64_t lines;   // lines read, but those too long (the link counts them)
    uint64_t dropped; // of those, lines that were neither spectrum nor air
};
