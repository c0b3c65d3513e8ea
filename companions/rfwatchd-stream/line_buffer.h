// SPDX-License-Identifier: MIT
// Splits rfwatchd's byte stream into lines with a fixed amount of memory: a
// line longer than the buffer is skipped to its end and counted, never grown.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// Far beyond the longest line the daemon writes (512 bins of "-100.00,"
// make about 4.5 KiB); anything longer is not a spectrum line.
constexpr size_t LINE_MAX_BYTES = 16384;

struct LineBuffer {
    std::array<char, LINE_MAX_BYTES> bytes;
    size_t len;
    bool overlong;      // inside a line that did not fit: skip to its end
    uint64_t overlongs; // lines skipped for their length
};

void line_buffer_reset(LineBuffer &b);

using LineSink = void (*)(void *context, std::string_view line);

// Appends data; calls sink once per complete line (without its "\n") in order.
void line_buffer_feed(LineBuffer &b, std::span<const char> data, LineSink sink, void *context);
