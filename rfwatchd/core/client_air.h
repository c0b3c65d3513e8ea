// SPDX-License-Identifier: MIT
// A client's air lines: the command that turns them on, changes their
// period or stops them, the feeding of the server's one engine while any
// client has them on, and the flush of a client whose period is due.
#pragma once

#include "air/air_engine.h"

#include <cstdint>

struct Client;
struct Server;

// Per client; all zero is off.
struct ClientAir {
    uint32_t period_ms;   // 0: off
    uint64_t next_due_ms; // loop clock
    AirCursor *cursor;    // owned while on
};

// The server's side: one engine, made for the first client that asks and
// kept (its floors and signals stay useful to the next one).
struct ServerAir {
    AirEngine *engine;
    float margin_db;    // --air-margin
    int32_t clients_on; // the engine is fed only while this is above 0
};

// Command 4: period_ms 0 stops, otherwise starts or restarts the window.
void client_air_command(Server &server, Client &client, int32_t period_ms);
// At disconnect: releases the client's air state, silently.
void client_air_release(Server &server, Client &client);
// Takes one decoded sample, only while some client has air lines on.
void client_air_feed(Server &server, const SpectralSample &sample);
// When the client's air lines are next due, or UINT64_MAX when off.
uint64_t client_air_due(const Client &client);
// Writes the client's lines when due, within the flush's stall budget.
// false when the client has to be given up (the writer said why).
bool client_air_flush(Server &server, Client &client, uint64_t now, uint32_t *wait_budget_ms);
// Frees the engine (teardown; the clients are dropped first).
void server_air_free(Server &server);
