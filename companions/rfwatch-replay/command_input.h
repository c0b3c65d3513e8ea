// SPDX-License-Identifier: MIT
// A client's bytes split into commands the way rfwatchd splits them: a line
// feed ends one, and a read without one is one (a client that writes each
// command with one write sends no line feeds). What follows a read's last
// line feed waits for the next read, bounded.
#pragma once

#include <string>
#include <string_view>

struct CommandInput {
    std::string held; // at most COMMAND_MAX_BYTES
};

using CommandSink = void (*)(void *context, std::string_view command);

void command_input_feed(CommandInput &in, std::string_view read, CommandSink sink, void *context);
// The client shut its sending side: a held rest is its last command.
void command_input_end(CommandInput &in, CommandSink sink, void *context);
