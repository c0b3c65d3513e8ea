// SPDX-License-Identifier: MIT
// The time base rfwatchd's code reads (monotonic_ms), replaced for tests by
// a clock that stands still until the test moves it. A test program gets it
// by linking wd_test_clock; time-dependent logic then gives the same result
// however slow or loaded the machine is.
#pragma once

#include <cstdint>

namespace wdtest
{

// Where the clock starts (and where reset puts it back): far from 0, which
// the product reads as "no clock".
constexpr uint64_t TEST_CLOCK_START_MS = 1'000'000;

uint64_t test_clock_now();
void test_clock_advance(uint64_t ms);
void test_clock_reset();

} // namespace wdtest
