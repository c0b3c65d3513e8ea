// SPDX-License-Identifier: MIT
#include "schedule.h"

#include <cmath>

namespace
{

// Recording microseconds as replay microseconds at the speed, rounded so
// that a long recording does not drift by truncation.
int64_t scaled(uint64_t recording_us, double speed)
{
    return std::llround(static_cast<double>(recording_us) / speed);
}

void anchor(ReplaySchedule &s, uint64_t time_us, int64_t due_us)
{
    s.anchored = true;
    s.anchor_time_us = time_us;
    s.anchor_due_us = due_us;
}

} // namespace

void schedule_start(ReplaySchedule &s, double speed, int64_t start_us)
{
    s = ReplaySchedule{};
    s.speed = speed;
    s.anchor_due_us = start_us;
}

ScheduleStep schedule_next(ReplaySchedule &s, uint64_t time_us)
{
    ScheduleStep step{0, 0, false};
    if (!s.anchored) {
        // The first record of a pass: due at the start, or a pause after the
        // last line of the pass before.
        anchor(s, time_us, s.have_last ? s.last_due_us + s.rewind_pause_us : s.anchor_due_us);
        s.pass_first_us = time_us;
        s.pass_records = 0;
    } else if (time_us < s.last_time_us) {
        // Measuring from the old anchor would put this line in the past and
        // every later one too early: start afresh from the previous line.
        step.backwards = true;
        anchor(s, time_us, s.last_due_us);
    } else if (time_us - s.last_time_us >= SCHEDULE_GAP_US) {
        step.gap_us = time_us - s.last_time_us;
    }
    // Always measured from the anchor, never added up line by line, so
    // rounding does not accumulate over hours of lines.
    step.due_us = s.anchor_due_us + scaled(time_us - s.anchor_time_us, s.speed);
    s.have_last = true;
    s.last_time_us = time_us;
    s.last_due_us = step.due_us;
    s.pass_records++;
    return step;
}

void schedule_rewind(ReplaySchedule &s)
{
    // A pass of one line, or of lines all of one instant, has no interval:
    // a second then, rather than serving it again and again at once.
    const uint64_t mean = s.pass_records > 1 && s.last_time_us > s.pass_first_us
                              ? (s.last_time_us - s.pass_first_us) / (s.pass_records - 1)
                              : SCHEDULE_EMPTY_PASS_PAUSE_US;
    s.rewind_pause_us = scaled(mean, s.speed);
    s.anchored = false;
}
