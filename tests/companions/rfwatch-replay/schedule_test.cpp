// SPDX-License-Identifier: MIT
// The replay's pace: each record due at its recorded offset over the speed,
// a rewind one mean interval after the last line, a clock set back served
// at once, and pauses long enough to be a daemon outage reported.
#include "schedule.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{

struct Step {
    uint64_t time_us; // 0: rewind before the next step
    int64_t due_us;
    uint64_t gap_us;
    bool backwards;
};

struct Case {
    const char *what;
    double speed;
    std::vector<Step> steps;
};

constexpr uint64_t T0 = 1765300000000000; // a recording's epoch microseconds
constexpr int64_t START = 5000000;        // the monotonic clock at the start

} // namespace

TEST(ReplaySchedule, RecordsAreDueAtTheirRecordedPace)
{
    const Case cases[] = {
        {"as recorded",
         1,
         {{T0, START, 0, false},
          {T0 + 100000, START + 100000, 0, false},
          {T0 + 350000, START + 350000, 0, false}}},
        {"fifty times as fast",
         50,
         {{T0, START, 0, false},
          {T0 + 1000000, START + 20000, 0, false},
          {T0 + 2000000, START + 40000, 0, false}}},
        {"half speed", 0.5, {{T0, START, 0, false}, {T0 + 100000, START + 200000, 0, false}}},
        {"same instant twice", 1, {{T0, START, 0, false}, {T0, START, 0, false}}},
        {"outage reported, waited as recorded",
         2,
         {{T0, START, 0, false},
          {T0 + 30000000, START + 15000000, 30000000, false},
          {T0 + 30100000, START + 15050000, 0, false}}},
        {"just under the gap is no outage",
         1,
         {{T0, START, 0, false},
          {T0 + SCHEDULE_GAP_US - 1, START + SCHEDULE_GAP_US - 1, 0, false}}},
        {"clock set back: at once, then the pace again",
         1,
         {{T0, START, 0, false},
          {T0 + 100000, START + 100000, 0, false},
          {T0 - 3600000000, START + 100000, 0, true},
          {T0 - 3600000000 + 100000, START + 200000, 0, false}}},
        // Three lines 100 ms apart: the next pass starts 100 ms after the
        // last, and is paced from there.
        {"loop",
         1,
         {{T0, START, 0, false},
          {T0 + 100000, START + 100000, 0, false},
          {T0 + 200000, START + 200000, 0, false},
          {0, 0, 0, false},
          {T0, START + 300000, 0, false},
          {T0 + 100000, START + 400000, 0, false}}},
        {"loop of one line comes back a second later",
         4,
         {{T0, START, 0, false}, {0, 0, 0, false}, {T0, START + 250000, 0, false}}},
    };
    for (const Case &c : cases) {
        ReplaySchedule s;
        schedule_start(s, c.speed, START);
        for (size_t i = 0; i < c.steps.size(); i++) {
            const Step &want = c.steps[i];
            if (want.time_us == 0) {
                schedule_rewind(s);
                continue;
            }
            const ScheduleStep got = schedule_next(s, want.time_us);
            EXPECT_EQ(got.due_us, want.due_us) << c.what << ", step " << i;
            EXPECT_EQ(got.gap_us, want.gap_us) << c.what << ", step " << i;
            EXPECT_EQ(got.backwards, want.backwards) << c.what << ", step " << i;
        }
    }
}

// Hours of lines at an awkward speed: each due instant is the exact one,
// rounded once, not a sum of rounded steps.
TEST(ReplaySchedule, NoDriftOverALongRecording)
{
    ReplaySchedule s;
    schedule_start(s, 3, 0);
    ScheduleStep last{};
    for (uint64_t k = 0; k <= 360000; k++) // ten hours of 100 ms lines
        last = schedule_next(s, T0 + k * 100000);
    EXPECT_EQ(last.due_us, 12000000000);
}
