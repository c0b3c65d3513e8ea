// The client command protocol: one read is one command; the daemon never
// answers on the connection, only on its console.
#pragma once

#include "server.h"

struct Client;

// Reads once from a readable client and carries out its command; drops the
// client on end of file or a read error.
void handle_client_command(Server &server, Client *client);
