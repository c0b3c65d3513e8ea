// SPDX-License-Identifier: MIT
#include "test_clock.h"

#include "base/clock.h"

namespace
{

uint64_t now_ms = wdtest::TEST_CLOCK_START_MS;

} // namespace

uint64_t monotonic_ms()
{
    return now_ms;
}

namespace wdtest
{

uint64_t test_clock_now()
{
    return now_ms;
}

void test_clock_advance(uint64_t ms)
{
    now_ms += ms;
}

void test_clock_reset()
{
    now_ms = TEST_CLOCK_START_MS;
}

} // namespace wdtest
