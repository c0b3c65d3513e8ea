// SPDX-License-Identifier: MIT
// Writing one JSON line to a client without letting it hold up the loop.
// Client sockets are non-blocking; a line is begun only when the socket has
// room for it, and a client that makes the loop wait WRITE_STALL_LIMIT_MS in
// all during one flush is given up: a per-line limit would let a client that
// drains its socket in slow bursts hold up a long flush many times over.
#pragma once

#include <cstdint>
#include <string_view>

constexpr uint32_t WRITE_STALL_LIMIT_MS = 100;

enum LineWrite {
    LINE_SENT,
    LINE_BROKEN,  // EPIPE: the client has gone
    LINE_FAILED,  // another write error; errno_out holds it
    LINE_STALLED, // the socket stayed full longer than the budget left
};

// Writes text and one line feed as a single line. Waits in poll only while
// the socket has no room, and for no longer than *wait_budget_ms, which it
// reduces by the time it waited.
LineWrite write_client_line(int fd, std::string_view text, uint32_t *wait_budget_ms,
                            int *errno_out);

// Says on the console what became of a line that was not sent; false when
// the client has to be given up (gone or stalled). Every kind of line a
// client is sent is judged alike.
bool client_line_kept(LineWrite result, int fd, int err);
