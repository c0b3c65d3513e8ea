// SPDX-License-Identifier: MIT
// The CSV row time: a sweep's lines share its first line's time.
#include "export_sweep.h"

#include <gtest/gtest.h>
#include <vector>

TEST(ExportSweep, RowTimes)
{
    constexpr uint16_t BREAK = 0; // a Note between lines
    struct Step {
        uint16_t mhz;
        uint64_t s; // arrival, seconds
        uint64_t row_s;
    };
    struct Case {
        const char *what;
        std::vector<Step> steps;
    } cases[] = {
        {"one frequency: every line its own time", {{2437, 1, 1}, {2437, 2, 2}, {2437, 3, 3}}},
        {"a sweep, then the next from its first frequency again",
         {{2412, 10, 10}, {2437, 11, 10}, {2462, 12, 10}, {2412, 13, 13}, {2437, 14, 13}}},
        {"a frequency seen again mid-sweep begins the next",
         {{5180, 1, 1}, {5200, 2, 1}, {5180, 3, 3}, {5200, 4, 3}, {5200, 5, 5}}},
        {"the daemon gone between two frequencies", {{2412, 1, 1}, {BREAK, 0, 0}, {2437, 2, 2}}},
        {"more than the longest dwell apart", {{2412, 1, 1}, {2437, 67, 67}, {2462, 68, 67}}},
        {"the clock stepped back inside a sweep", {{2412, 100, 100}, {2437, 90, 100}}},
    };
    for (const Case &c : cases) {
        SweepClock clock;
        size_t i = 0;
        for (const Step &step : c.steps) {
            i++;
            if (step.mhz == BREAK) {
                sweep_clock_break(clock);
                continue;
            }
            EXPECT_EQ(sweep_clock_time(clock, step.mhz, step.s * 1000000), step.row_s * 1000000)
                << c.what << ", line " << i;
        }
    }
}
