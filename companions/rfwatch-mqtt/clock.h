// SPDX-License-Identifier: MIT
// Monotonic time in microseconds and the reconnection pace shared by the
// broker and the daemon side.
#pragma once

#include <cstdint>
#include <ctime>

inline int64_t monotonic_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

constexpr int64_t BACKOFF_FIRST_US = 1000000;
constexpr int64_t BACKOFF_MAX_US = 30000000;

// 1 s, 2 s, 4 s ... 30 s.
inline int64_t backoff_next(int64_t current_us)
{
    if (current_us <= 0)
        return BACKOFF_FIRST_US;
    return current_us >= BACKOFF_MAX_US / 2 ? BACKOFF_MAX_US : current_us * 2;
}
