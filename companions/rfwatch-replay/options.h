// SPDX-License-Identifier: MIT
// rfwatch-replay's command line, one table for parsing and the usage text.
#pragma once

#include "cli.h"

#include <string>

struct ReplayOptions {
    std::string file;
    // Where rfwatch-web and rfwatch-view look when given no -s.
    std::string socket_path = "rfwatchd.sock";
    double speed = 1;
    bool loop = false;
};

extern const CliProgram REPLAY_CLI;

CliResult replay_options_parse(int argc, char *const *argv, ReplayOptions &o, std::string &error);
