// Client connections: the server's list of them, the poll step (accept,
// hang-up, commands) and the flush step.
#pragma once

#include "core/client.h"
#include "core/server.h"

#include <cstdint>

// Only this many clients are polled for commands in one pass; later ones
// still receive samples.
constexpr int MAX_POLLED_CLIENTS = 5;
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

// The poll step: listener and the first MAX_POLLED_CLIENTS clients, 1 ms.
void poll_clients(Server &server);
// The flush step: sends every aggregate whose period has elapsed. Always 0.
int flush_clients(Server &server);
