// SPDX-License-Identifier: MIT
// Flight-recorder mode (--ring SECONDS): the last SECONDS of records are
// kept in memory only; when something happens they are written, with the
// SECONDS after, into one file of dir named by the time and the cause.
// Triggers: a non-Wi-Fi class in an air line that no air line of the last
// SECONDS had, a channel's quality falling below below_quality, or
// flight_trigger (SIGUSR1). No I/O but the event files; time comes from the
// caller.
#pragma once

#include "recording_format.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct FlightOptions {
    std::string dir;    // where event files go
    int64_t ring_us;    // SECONDS before and after an event
    int below_quality;  // -1: no quality trigger
    uint64_t max_bytes; // the ring's memory and each event file's size
    RecordingHeader header;
};

struct FlightState; // the ring, the open event file, the trigger state

struct FlightRecorder {
    FlightOptions options;
    std::unique_ptr<FlightState> state;
    uint64_t events = 0;  // event files begun
    uint64_t dropped = 0; // records the ring's byte bound pushed out early
    // Both defined where FlightState is whole; the destructor closes an
    // open event file.
    FlightRecorder();
    ~FlightRecorder();
    FlightRecorder(const FlightRecorder &) = delete;
    FlightRecorder &operator=(const FlightRecorder &) = delete;
};

void flight_init(FlightRecorder &f, const FlightOptions &options);
// A line as it arrived (an air line is also looked at for triggers).
void flight_line(FlightRecorder &f, uint64_t time_us, std::string_view line, int64_t now_us);
// A Note record (the daemon lost, lines lost), kept like a line.
void flight_note(FlightRecorder &f, uint64_t time_us, std::string_view note_json, int64_t now_us);
// An outside trigger: cause is a word for the file name ("usr1").
void flight_trigger(FlightRecorder &f, uint64_t time_us, std::string_view cause, int64_t now_us);
// Ends an event file whose SECONDS after have passed; syncs the open one.
void flight_tick(FlightRecorder &f, uint64_t time_us, int64_t now_us);
// Closes an open event file (at exit: what was written stays).
void flight_close(FlightRecorder &f);
