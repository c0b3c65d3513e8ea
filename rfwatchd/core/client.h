// SPDX-License-Identifier: MIT
// One client connection as a record: its socket, its aggregates and its
// place in the server's client list. The list's operations are in
// clients.h; what only needs the record (commands, samples) includes this.
#pragma once

#include "capture/sample_aggregate.h"
#include "core/client_air.h"
#include "core/commands.h"

#include <cstdint>

// Links of the circular client list; the server holds the sentinel.
struct ClientLink {
    ClientLink *prev;
    ClientLink *next;
};

struct Client {
    int32_t socket;                // also the client's number in messages
    SampleAggregate aggregates[2]; // by detector
    ClientLink links;
    // The client shut its sending side: it may still read, so it stays, but
    // its socket is no longer polled for input (it would read as ready
    // for ever).
    uint8_t input_closed;
    ClientInput input;
    ClientAir air; // off unless the client sent command 4
};
