// SPDX-License-Identifier: MIT
// The fleet's contract between rfwatch-mqtt, which publishes each radio
// under PREFIX/NODE/RADIO/..., and rfwatch-web's fleet page, which lists
// them: the topics, the one rule for names, and the status payload. Both
// ends use this file, so a name one side accepts the other can show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// NODE and RADIO travel to the page inside JSON strings and back into
// command topics: printable ASCII only, and none of the characters that
// would end or escape a string or split or widen a topic.
constexpr size_t FLEET_NAME_MAX = 64;
extern const char *const FLEET_NAME_RULE; // the rule in words, for refusals
bool fleet_name_ok(std::string_view name);

// PREFIX: one or more topic levels (valid UTF-8, no control characters,
// no wildcards, no empty level).
extern const char *const FLEET_PREFIX_RULE;
bool fleet_prefix_ok(std::string_view prefix);

// Air: the radio's air lines (the daemon's analysis), as the daemon wrote them.
enum class FleetTopic { Spectrum, Status, Command, Air };

// PREFIX/NODE/RADIO/spectrum, .../status, .../command or .../air.
std::string fleet_topic(std::string_view prefix, std::string_view node, std::string_view radio,
                        FleetTopic kind);
// PREFIX/+/+/spectrum and so on: every radio's topic of that kind.
std::string fleet_subscription(std::string_view prefix, FleetTopic kind);

struct FleetTopicParts {
    FleetTopic kind;
    std::string_view node, radio;
};

// A radio's spectrum, status or air topic under prefix, with names that keep the
// rule; false for anything else (a command topic included: that is the
// radio's to read).
bool fleet_topic_parse(std::string_view prefix, std::string_view topic, FleetTopicParts &out);

// The retained status each radio publishes (its will says "offline").
struct FleetStatus {
    bool online = false;
    bool daemon_connected = false;
    uint64_t lines = 0;   // lines read from rfwatchd since the start
    uint64_t dropped = 0; // lines not published: queue full, too long, or no spectrum
};

// {"state":"online"|"offline","daemon":"connected"|"unreachable","lines":N,"dropped":N}
std::string fleet_status_encode(const FleetStatus &s);
// false (out untouched) when a field is missing or of another kind.
bool fleet_status_parse(std::string_view payload, FleetStatus &out);
