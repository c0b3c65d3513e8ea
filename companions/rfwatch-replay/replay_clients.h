// SPDX-License-Identifier: MIT
// The replay's clients: a fixed table, like rfwatchd's. Writes never block:
// a line goes to a client whole or not at all, and a client whose socket is
// full misses lines (counted) instead of holding the others up.
#pragma once

#include "command_input.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Far more than the viewers, recorders and bridges one radio has.
constexpr size_t REPLAY_MAX_CLIENTS = 64;

struct ReplayClient {
    int fd = -1; // also the client's number in log lines, as in rfwatchd's
    bool air = false;
    bool input_closed = false; // shut its sending side: may still read
    // The rest of the one line a full socket cut; nothing else is taken
    // until it is out, so the pending bytes never pass one line.
    std::string pending;
    uint64_t missed = 0; // lines not sent since the last log line
    uint64_t missed_total = 0;
    CommandInput input;
};

struct ReplayClients {
    std::array<ReplayClient, REPLAY_MAX_CLIENTS> slot;
    size_t count = 0; // slot[0] to slot[count - 1] are in use
};

enum class Offer {
    Sent,   // all of it
    Cut,    // part of it; the rest is pending
    Missed, // none of it: the client is behind
    Broken, // the client is gone (drop it)
};

// false when the table is full (the caller closes fd).
bool clients_add(ReplayClients &c, int fd);
// Closes slot i; the last slot moves into it.
void clients_remove(ReplayClients &c, size_t i);

// line ends with its "\n".
Offer client_offer(ReplayClient &client, std::string_view line);
// Sends what is pending; false when the client is gone.
bool client_flush(ReplayClient &client);
