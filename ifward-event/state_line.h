// SPDX-License-Identifier: MIT
// One line of a state file: "interface.property=value".
#pragma once

#include "datagram.h"

// Each part must fit its field whole; a longer part makes the line
// malformed, so a name is never cut into another interface's name.
constexpr std::size_t STATE_PROPERTY_MAX = 63;
constexpr std::size_t STATE_VALUE_MAX = 127;

struct StateLine {
    char ifname[IFWARD_NAME_SIZE];
    char property[STATE_PROPERTY_MAX + 1];
    char value[STATE_VALUE_MAX + 1];
};

enum LineScan { LINE_SKIP, LINE_MALFORMED, LINE_OK };

// Skips leading blanks, trims the end of the piece in place and splits it.
// *text is the trimmed line, for messages.
LineScan state_line_scan(char *piece, StateLine *out, const char **text);

enum ApplyResult { APPLY_OK, APPLY_UNKNOWN, APPLY_INVALID };

// Sets one property of the state. APPLY_INVALID after logging the
// property's own error line.
ApplyResult state_apply(StateDatagram *s, const StateLine &line);
