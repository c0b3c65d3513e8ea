// SPDX-License-Identifier: MIT
// The command line: options, the command table, event parameters, usage.
#pragma once

#include "datagram.h"

#include <span>

enum ParamKind { PARAM_NONE, PARAM_MAC, PARAM_ADDR };

struct EventCommand {
    const char *name;
    int32_t event;
    ParamKind param;
    bool required;
};

// Exact, case-sensitive match; nullptr when unknown.
const EventCommand *find_command(const char *name);

// Fills the payload from the parameters. False after logging why; the
// caller then prints the usage text with "Failed to parse command options".
bool apply_event_parameters(const EventCommand &cmd, std::span<char *const> params,
                            EventDatagram *d);

extern const char usage_text[];

// Writes "Error: <message>\n\n" (when fmt is given) and the usage text, then
// exits with 1 when fmt was given and 0 otherwise.
[[noreturn]] void print_usage(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The whole program; returns its exit status.
int run_event_tool(int argc, char **argv);
