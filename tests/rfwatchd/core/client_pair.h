// SPDX-License-Identifier: MIT
// A connected Unix stream pair whose daemon end is non-blocking, as the
// daemon keeps its client sockets.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

struct ClientPair {
    int daemon_end = -1, client_end = -1;
    ClientPair()
    {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0) {
            daemon_end = sv[0];
            client_end = sv[1];
            fcntl(daemon_end, F_SETFL, fcntl(daemon_end, F_GETFL) | O_NONBLOCK);
        }
    }
    ~ClientPair()
    {
        if (daemon_end >= 0)
            close(daemon_end);
        if (client_end >= 0)
            close(client_end);
    }
    ClientPair(const ClientPair &) = delete;
    ClientPair &operator=(const ClientPair &) = delete;
};
