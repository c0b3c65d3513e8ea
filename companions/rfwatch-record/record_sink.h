// SPDX-License-Identifier: MIT
// Where rfwatch-record puts what it receives: the recording file or the
// flight recorder. Either begins at the first line, which tells the
// header's driver when --driver did not; notes that came before it (the
// daemon connected) wait for it in a small queue.
#pragma once

#include "flight.h"
#include "line_record.h"
#include "record_file.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum class SinkKind { File, Flight };

// Before the first line only the daemon's comings and goings happen; a
// flapping daemon's oldest notes give way.
constexpr size_t SINK_PENDING_NOTES = 8;

struct PendingNote {
    uint64_t time_us;
    std::string json;
};

struct RecordSink {
    SinkKind kind;
    RecordingHeader header; // driver and unit filled in at the first line
    bool started = false;
    RecordFile file;
    FlightOptions flight_options;
    FlightRecorder flight;
    LineRecord record; // reused
    std::array<PendingNote, SINK_PENDING_NOTES> pending;
    size_t pending_count = 0;
    uint64_t pending_dropped = 0;
};

void sink_init_file(RecordSink &s, const RecordingHeader &header, const std::string &path,
                    uint64_t max_bytes);
void sink_init_flight(RecordSink &s, const FlightOptions &options);
// false: the file could not be written (sink_error says why).
bool sink_line(RecordSink &s, uint64_t time_us, std::string_view line, int64_t now_us);
bool sink_note(RecordSink &s, uint64_t time_us, std::string_view json, int64_t now_us);
// SIGUSR1: an event in flight-recorder mode, nothing in file mode.
void sink_trigger(RecordSink &s, uint64_t time_us, std::string_view cause, int64_t now_us);
void sink_tick(RecordSink &s, uint64_t time_us, int64_t now_us);
void sink_close(RecordSink &s);
const std::string &sink_error(const RecordSink &s);

// The driver a line tells: an air line names it, a spectrum line shows it
// by its noise (driver_of_spectrum); "" for any other line.
std::string driver_of_line(std::string_view line);

// The notes of recording_format.h.
std::string note_source(const char *source, bool connected); // source: "daemon", "broker"
std::string note_lost(uint64_t lines);
