// SPDX-License-Identifier: MIT
#include "log_limiter.h"

bool log_limiter_pass(LogLimiter &l, uint64_t now_ms, unsigned *suppressed)
{
    *suppressed = 0;
    if (l.in_window == 0 || now_ms - l.window_start_ms >= LOG_WINDOW_MS) {
        *suppressed = l.suppressed;
        l = LogLimiter{now_ms, 0, 0};
    }
    if (l.in_window >= LOG_LINES_PER_WINDOW) {
        l.suppressed++;
        return false;
    }
    l.in_window++;
    return true;
}
