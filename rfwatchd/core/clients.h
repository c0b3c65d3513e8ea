// SPDX-License-Identifier: MIT
// Client connections: the server's list of them, the poll step (accept,
// hang-up, commands) and the flush step.
#pragma once

#include "core/client.h"
#include "core/server.h"

#include <cstdint>

// Connections beyond this many are accepted and closed at once: a fixed cap
// well below the usual 1024 descriptors, so that a flood of connections
// cannot leave the daemon without descriptors of its own.
constexpr int MAX_CLIENTS = 64;
// After accept fails for want of descriptors the pending connection keeps
// the listener readable: it rests this long instead of spinning.
constexpr uint64_t ACCEPT_BACKOFF_MS = 100;
constexpr uint32_t DEFAULT_PERIOD_MS = 100;

void client_list_init(Server &server);
// First client (oldest), or nullptr; next_client gives nullptr after the last.
Client *first_client(Server &server);
Client *next_client(Server &server, Client *client);

// Accepts one pending connection; 0, or -1 after printing why.
int accept_client(Server &server);
// Unlinks, closes and releases; the caller has printed its own message.
void drop_client(Server &server, Client *client);
// Drops every client in list order, silently (teardown).
void drop_all_clients(Server &server);

// The poll step: waits up to timeout_ms for the listener and every client,
// then accepts, notices hang-ups and runs the commands of readable clients.
void poll_clients(Server &server, int timeout_ms);
// The earliest time at which the flush step has an aggregate due, or
// UINT64_MAX without clients.
uint64_t next_flush_ms(Server &server);
// The flush step: sends every aggregate whose period has elapsed. Always 0.
int flush_clients(Server &server);
