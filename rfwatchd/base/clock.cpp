// SPDX-License-Identifier: MIT
#include "base/clock.h"

#include <ctime>

uint64_t monotonic_ms()
{
    timespec ts{};
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0)
        return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}
