// SPDX-License-Identifier: MIT
// The replay's socket, bound where rfwatchd's would be. A socket file left
// by a program that died is replaced; one that still answers belongs to a
// running daemon (or replay) and is never taken from it.
#pragma once

#include <string>
#include <sys/types.h>

enum class ListenResult {
    Ok,
    TooLong,   // the path does not fit a Unix socket address
    Live,      // a program answers on it
    NotSocket, // a file that is not a socket is there: someone's data
    Failed,    // socket, bind or listen failed (errno kept)
};

struct ListenSocket {
    int fd = -1;
    std::string path;
    ino_t inode = 0; // of the file bound, so that only our own is removed
};

ListenResult listen_socket_open(ListenSocket &s, const char *path);
// Closes it and removes the file, unless another program has replaced it.
void listen_socket_close(ListenSocket &s);
const char *listen_result_text(ListenResult r);

struct ListenSocketGuard {
    ListenSocket &s;
    ~ListenSocketGuard() { listen_socket_close(s); }
};
