// Splits what the daemon's socket delivers into whole lines. A line longer
// than any the daemon writes is dropped rather than buffered without end.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

constexpr size_t MAX_LINE_BYTES = 1 << 20;

struct LineReader {
    std::string pending;
    bool skipping = false; // inside an overlong line, until its newline
    long overlong = 0;     // lines dropped for their length
};

// Reads once from fd and calls `each` for every whole line; false when the
// peer has closed the connection (or reading failed).
bool read_lines(int fd, LineReader &r, const std::function<void(std::string_view)> &each);
