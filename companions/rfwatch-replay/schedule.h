// SPDX-License-Identifier: MIT
// When each recorded line is due: the recording's arrival times replayed at
// a speed, on the monotonic clock. Pure arithmetic, so a test drives it
// with made-up instants.
#pragma once

#include <cstdint>

// A pause in the recording this long (recording time) is worth a log line:
// rfwatchd sends lines many times a second, so it was away or stalled.
constexpr uint64_t SCHEDULE_GAP_US = 10000000;

// Between passes of a recording whose lines have no interval between them.
constexpr uint64_t SCHEDULE_EMPTY_PASS_PAUSE_US = 1000000;

struct ReplaySchedule {
    double speed = 1;            // recording seconds per second of replay
    bool anchored = false;       // false until the first record, and after a rewind
    int64_t anchor_due_us = 0;   // when the anchor record is due (monotonic)
    uint64_t anchor_time_us = 0; // its arrival time in the recording
    bool have_last = false;
    uint64_t last_time_us = 0; // the previous record's arrival time
    int64_t last_due_us = 0;   // and when it was due
    // For the pause between the last line of a pass and the first of the
    // next (--loop): the pass's mean interval between lines.
    uint64_t pass_first_us = 0;
    uint64_t pass_records = 0;
    int64_t rewind_pause_us = 0;
};

struct ScheduleStep {
    int64_t due_us;  // monotonic instant the record is to be served
    uint64_t gap_us; // recording time since the previous record, when
                     // at least SCHEDULE_GAP_US; else 0
    bool backwards;  // its time is before the previous record's (the
                     // recorder's clock was set back): served at once
};

// Starts a schedule whose first record is due at start_us.
void schedule_start(ReplaySchedule &s, double speed, int64_t start_us);
// The next record of the recording, with its arrival time.
ScheduleStep schedule_next(ReplaySchedule &s, uint64_t time_us);
// The recording starts again (--loop): its first record comes one mean
// interval after the last one (SCHEDULE_EMPTY_PASS_PAUSE_US when there is
// none).
void schedule_rewind(ReplaySchedule &s);
