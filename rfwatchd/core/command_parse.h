// SPDX-License-Identifier: MIT
// The client command format: one JSON object per line (or per read without
// a line feed), turned into a plain record before anything acts on it.
#pragma once

#include <cstddef>
#include <cstdint>

enum ClientCommand : int32_t {
    CMD_SET_AGGREGATION = 1,
    CMD_START_SWEEP = 2,
    CMD_CANCEL_SWEEP = 3,
    CMD_AIR = 4,
};

enum CommandParse {
    COMMAND_NOT_JSON, // error_at points into the text where parsing stopped
    COMMAND_IGNORED,  // JSON, but not a command with acceptable values
    COMMAND_OK,
};

struct ParsedCommand {
    ClientCommand command;
    int32_t period_ms;     // SetAggregation, > 0
    int32_t from_mhz;      // StartSweep, >= 0
    int32_t to_mhz;        // StartSweep, >= from_mhz
    int32_t duration_s;    // StartSweep, 0: no end
    int32_t dwell_ms;      // StartSweep, > 0 (1000 by default)
    int32_t air_period_ms; // Air: 0 (stop), or AIR_MIN_PERIOD_MS..AIR_MAX_PERIOD_MS
    const char *error_at;  // COMMAND_NOT_JSON only
};

constexpr int32_t DEFAULT_DWELL_MS = 1000;
// Shorter windows hold too few reports for a duty or a class to mean
// anything; longer ones outlast what a client waits for.
constexpr int32_t AIR_MIN_PERIOD_MS = 100;
constexpr int32_t AIR_MAX_PERIOD_MS = 60000;

// text must be terminated at text[len]; only its first JSON value counts.
// A command that is known but has unacceptable values is COMMAND_IGNORED
// with command set, so that the caller can say which.
CommandParse parse_client_command(const char *text, size_t len, ParsedCommand &out);

// A JSON number as a signed 32-bit value: truncated toward zero, clamped.
int32_t clamp_to_int32(double value);
