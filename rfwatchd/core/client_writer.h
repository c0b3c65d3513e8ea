// Writing one JSON line to a client without letting it hold up the loop.
// Client sockets are non-blocking; a line is begun only when the socket has
// room for it, and a client whose socket stays full for WRITE_STALL_LIMIT_MS
// is given up.
#pragma once

#include <cstdint>
#include <string_view>

constexpr uint32_t WRITE_STALL_LIMIT_MS = 100;

enum LineWrite {
    LINE_SENT,
    LINE_BROKEN,  // EPIPE: the client has gone
    LINE_FAILED,  // another write error; errno_out holds it
    LINE_STALLED, // the socket stayed full for the whole limit
};

// Writes text and one line feed as a single line. Waits (in poll, for at
// most limit_ms in all) only while the socket has no room.
LineWrite write_client_line(int fd, std::string_view text, uint32_t limit_ms, int *errno_out);
