// SPDX-License-Identifier: MIT
// The listening Unix stream socket clients connect to.
#pragma once

// The path field of a Unix socket address holds 108 bytes with the
// terminator.
constexpr int MAX_SOCKET_PATH = 107;
constexpr int LISTEN_BACKLOG = 5;

// Creates, binds (replacing any stale file at path) and listens. Returns
// the descriptor, or -1 after printing why.
int open_listening_socket(const char *path);
