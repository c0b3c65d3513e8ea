// SPDX-License-Identifier: MIT
// A companion's connection to rfwatchd's Unix stream socket.
#pragma once

#include <string>

// A non-blocking, close-on-exec descriptor connected to path, or -1 (no
// daemon there, its backlog full, or a path too long for a socket address:
// ENAMETOOLONG), the reason in errno.
// A Unix stream connect succeeds or fails at once, so callers simply retry.
int daemon_connect(const std::string &path);
