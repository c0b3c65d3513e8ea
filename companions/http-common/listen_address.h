// SPDX-License-Identifier: MIT
// Where an HTTP companion listens: [ADDR:]PORT on the command line, and
// whether that address keeps it to this machine.
#pragma once

#include <string>

// [ADDR:]PORT with ADDR an IPv4 address, "localhost" or [IPv6]; PORT 0 to
// 65535. false: nothing is changed.
bool parse_listen(const std::string &arg, std::string &address, int &port);

bool is_loopback(const std::string &address);

// "PROG: listening on ADDR:PORT" and note, with an IPv6 ADDR in brackets,
// ending in a newline: the line scripts and tests wait for before they
// connect.
std::string listening_line(const char *prog, const std::string &address, int port,
                           const char *note);
