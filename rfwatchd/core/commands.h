// SPDX-License-Identifier: MIT
// The client command protocol: each line is a command, and so is a read
// without a line feed; the daemon never answers on the connection, only on
// its console.
#pragma once

#include "core/command_frame.h"

#include <cstddef>
#include <cstdint>

struct Client;
struct Server;

// A command a writer was cut short in: the rest after a read's last line
// feed, kept for the client's next read. Fixed room, so nothing grows
// whatever a client sends.
struct ClientInput {
    uint16_t held;
    // The held rest and what completes it: a line of a read's size and its
    // line feed, and the terminator the parser needs.
    char text[COMMAND_READ_SIZE + 2];
};

// What the poll step does with the client after its command.
enum class ClientVerdict {
    Keep,
    Drop,       // a read error; the reason is printed
    StopReading // end of file: the client shut its sending side
};

// Reads once from a readable client and carries out its commands. Dropping
// is left to the caller, which owns the client list.
ClientVerdict handle_client_command(Server &server, Client &client);
