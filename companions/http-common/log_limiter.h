// SPDX-License-Identifier: MIT
// A few lines a minute at most: libwebsockets logs each failed accept, and a
// flood of them (descriptors exhausted) must not fill the disk or the journal.
#pragma once

#include <cstdint>

constexpr unsigned LOG_LINES_PER_WINDOW = 10;
constexpr uint64_t LOG_WINDOW_MS = 60000;

struct LogLimiter {
    uint64_t window_start_ms;
    unsigned in_window;
    unsigned suppressed;
};

// On a clock the caller gives: true when the line may be written;
// *suppressed: how many were held back before it (to say so first).
bool log_limiter_pass(LogLimiter &l, uint64_t now_ms, unsigned *suppressed);
