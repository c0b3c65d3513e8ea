// The client command protocol: each line is a command, and so is a read from
// a client that has never sent a line feed; the daemon never answers on the
// connection, only on its console.
#pragma once

#include <cstddef>
#include <cstdint>

struct Client;
struct Server;

// What one read takes: the whole command of a client that sends no line
// feeds, and the longest line (without its line feed) of one that does.
constexpr size_t COMMAND_READ_SIZE = 4096;

// A client's unfinished command. A writer may be cut anywhere by a full
// socket buffer, so a line's tail waits here for the rest; the room is fixed,
// so nothing grows whatever a client sends.
struct ClientInput {
    // The client has sent a line feed: from then on only a line feed ends a
    // command (before, one read is one command, as it always was).
    uint8_t framed;
    // A line too long for the room was reported; the rest up to its line
    // feed is dropped.
    uint8_t skipping;
    uint16_t held;
    // A line and its line feed, and the terminator the parser needs.
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
