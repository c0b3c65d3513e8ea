// SPDX-License-Identifier: MIT
// rfwatchd's commands as a record: encoded to the daemon's JSON, parsed from
// a JSON object (an MQTT publisher's) or a page's message, checked against
// one table of limits (command_limits.def).
#pragma once

#include <cJSON.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class CommandKind : int32_t {
    SetAggregation = 1,
    StartSweep = 2,
    CancelSweep = 3,
    Air = 4, // air lines every air_period_ms, or none (0)
};

struct DaemonCommand {
    CommandKind kind = CommandKind::CancelSweep;
    int32_t period_ms = 0;     // SetAggregation
    int32_t from_mhz = 0;      // StartSweep
    int32_t to_mhz = 0;        // StartSweep, above from_mhz
    int32_t duration_s = 0;    // StartSweep, if has_duration (else: no end)
    int32_t dwell_ms = 0;      // StartSweep, if has_dwell (else: the daemon's 1000)
    int32_t air_period_ms = 0; // Air: 0 stops them
    bool has_duration = false;
    bool has_dwell = false;
};

enum class CommandField {
#define COMMAND_FIELD(id, key, page_key, label, min, max, unit) id,
#define SWEEP_SPAN(lowest, highest)
#define COMMAND_GAP(id, lowest, highest, why)
#include "command_limits.def"
#undef COMMAND_GAP
#undef SWEEP_SPAN
#undef COMMAND_FIELD
    NONE,
};

struct FieldLimit {
    const char *key;      // in rfwatchd's command
    const char *page_key; // in the page's message
    const char *label;    // how a refusal names it to a person
    int64_t min;
    int64_t max;
    const char *unit;
};

constexpr FieldLimit COMMAND_LIMITS[] = {
#define COMMAND_FIELD(id, key, page_key, label, min, max, unit)                                    \
    {key, page_key, label, min, max, unit},
#define SWEEP_SPAN(lowest, highest)
#define COMMAND_GAP(id, lowest, highest, why)
#include "command_limits.def"
#undef COMMAND_GAP
#undef SWEEP_SPAN
#undef COMMAND_FIELD
};

// Far beyond the longest command rfwatchd knows (about 110 bytes).
constexpr size_t COMMAND_MAX_BYTES = 1024;

enum class CommandError {
    Ok,
    TooLong,    // over COMMAND_MAX_BYTES
    NotObject,  // not one JSON object
    TextAfter,  // text after the object (rfwatchd would read only the first)
    BadKind,    // "command" is not 1 to 4
    UnknownKey, // a key the command does not have (a typo the daemon ignores)
    Missing,    // field is required
    OutOfRange, // field is not a whole number within its limits
    InGap,      // field is within its limits, but in a gap of them (COMMAND_GAP)
    ToNotAbove, // sweep's to is not above its from
    NoChannel,  // sweep's range holds no channel rfwatchd tunes to
    BadOption,  // a command-line argument not of its form
};

struct CommandCheck {
    CommandError error;
    CommandField field; // Missing, OutOfRange; NONE otherwise
};

// Which names a message uses: rfwatchd's keys, or the page's.
enum class CommandKeys { Daemon, Page };

// rfwatchd's compact JSON of cmd, without a newline (the link frames it).
std::string encode_command(const DaemonCommand &cmd);

// One JSON object holding rfwatchd's own keys: what an MQTT publisher sends.
CommandCheck parse_command(std::string_view json, DaemonCommand &out);

// The fields of a command of kind, read from obj by keys' names and checked
// (null counts as absent). Unknown keys are not looked at.
CommandCheck command_fields(const cJSON *obj, CommandKind kind, CommandKeys keys,
                            DaemonCommand &out);

// A command-line argument: a period "MS" (SetAggregation, Air) or a sweep
// "FROM-TO[,DURATION[,DWELL]]" (StartSweep), checked as a command's fields.
CommandCheck command_from_option(CommandKind kind, const char *arg, DaemonCommand &out);

// One sentence per refusal, naming a field as keys does.
std::string command_error_text(CommandCheck check, CommandKeys keys);
