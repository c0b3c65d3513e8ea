// The client command protocol: each line of a read is a command, and a read
// without a line feed is one; the daemon never answers on the connection,
// only on its console.
#pragma once

struct Client;
struct Server;

// What the poll step does with the client after its command.
enum class ClientVerdict {
    Keep,
    Drop,       // a read error; the reason is printed
    StopReading // end of file: the client shut its sending side
};

// Reads once from a readable client and carries out its command. Dropping
// is left to the caller, which owns the client list.
ClientVerdict handle_client_command(Server &server, Client &client);
