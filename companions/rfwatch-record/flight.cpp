// SPDX-License-Identifier: MIT
#include "flight.h"
#include "air_line.h"
#include "flight_file.h"
#include "flight_ring.h"
#include "flight_triggers.h"
#include "line_record.h"
#include "recording_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

struct FlightState {
    FlightRing ring;
    FlightTriggers triggers;
    FlightCauses causes;
    AirLine air;       // reused
    LineRecord record; // reused
    RecordingWriter writer;
    bool open = false;
    uint64_t end_us = 0; // the open event takes records that arrive up to then
    std::string path;
    std::string note; // reused
};

namespace
{

// Room kept in an event file for the Note that says it ended full.
constexpr uint64_t END_NOTE_ROOM = 128;

uint64_t record_size(size_t body)
{
    return RECORD_HEAD_SIZE + body + RECORD_CRC_SIZE;
}

std::span<const uint8_t> bytes_of(std::string_view s)
{
    return {reinterpret_cast<const uint8_t *>(s.data()), s.size()};
}

std::string_view text_of(std::span<const uint8_t> b)
{
    return {reinterpret_cast<const char *>(b.data()), b.size()};
}

void end_event(FlightState &s, const char *why)
{
    recording_writer_close(s.writer);
    s.open = false;
    fprintf(stderr, "rfwatch-record: event file %s ended (%s)\n", s.path.c_str(), why);
}

// The event file grows by one record while it stays within max_bytes (with
// room for the Note saying it is full); a write that fails ends the event,
// the ring goes on.
void event_write(FlightRecorder &f, RecordType type, uint64_t time_us, std::string_view body,
                 int64_t now_us)
{
    FlightState &s = *f.state;
    // A body no record can hold (the ring refused it too) is left out; the
    // file is fine, so the event goes on.
    if (body.size() > RECORD_MAX_BODY)
        return;
    if (s.writer.size + record_size(body.size()) + END_NOTE_ROOM > f.options.max_bytes) {
        s.note = "{\"note\":\"full\",\"max_bytes\":" + std::to_string(f.options.max_bytes) + "}";
        recording_write(s.writer, RecordType::Note, time_us, s.note, now_us);
        end_event(s, "size limit reached");
        return;
    }
    if (!recording_write(s.writer, type, time_us, body, now_us)) {
        const int saved = errno;
        fprintf(stderr, "rfwatch-record: cannot write %s: %s\n", s.path.c_str(), strerror(saved));
        end_event(s, "write failed");
    }
}

void end_if_over(FlightState &s, uint64_t time_us)
{
    if (s.open && time_us > s.end_us)
        end_event(s, "window passed");
}

// Kept in the ring and, while an event is open, written to its file.
void keep(FlightRecorder &f, RecordType type, uint64_t time_us, std::string_view body,
          int64_t now_us)
{
    FlightState &s = *f.state;
    end_if_over(s, time_us);
    const uint64_t window = uint64_t(f.options.ring_us);
    flight_ring_expire(s.ring, time_us > window ? time_us - window : 0);
    flight_ring_push(s.ring, type, time_us, bytes_of(body));
    f.dropped = s.ring.dropped;
    if (s.open)
        event_write(f, type, time_us, body, now_us);
}

// The ring's records from the window before the trigger, the oldest left
// out when they would not all fit in the file.
void write_ring(FlightRecorder &f, int64_t now_us)
{
    FlightState &s = *f.state;
    const uint64_t room = f.options.max_bytes > s.writer.size + END_NOTE_ROOM
                              ? f.options.max_bytes - s.writer.size - END_NOTE_ROOM
                              : 0;
    size_t from = s.ring.count;
    for (uint64_t bytes = 0; from > 0; from--) {
        bytes += flight_ring_at(s.ring, from - 1).size;
        if (bytes > room)
            break;
    }
    for (size_t i = from; i < s.ring.count && s.open; i++) {
        const FlightRingEntry &e = flight_ring_at(s.ring, i);
        event_write(f, e.type, e.time_us, text_of(flight_ring_body(s.ring, e)), now_us);
    }
}

void trigger_note(FlightState &s, const FlightCause &cause)
{
    s.note = "{\"note\":\"trigger\",\"cause\":\"";
    s.note += cause.text.data();
    s.note += "\"}";
}

void start_event(FlightRecorder &f, uint64_t time_us, const FlightCause &cause, int64_t now_us)
{
    FlightState &s = *f.state;
    const uint64_t window = uint64_t(f.options.ring_us);
    flight_ring_expire(s.ring, time_us > window ? time_us - window : 0);
    RecordingHeader header = f.options.header;
    header.started_us = s.ring.count > 0 ? flight_ring_at(s.ring, 0).time_us : time_us;
    if (!flight_file_create(s.writer, f.options.dir, time_us, cause.text.data(), header, s.path)) {
        fprintf(stderr, "rfwatch-record: cannot create an event file in %s for %s: %s\n",
                f.options.dir.c_str(), cause.text.data(), strerror(errno));
        return;
    }
    f.events++;
    s.open = true;
    s.end_us = time_us + window;
    fprintf(stderr, "rfwatch-record: event file %s begun (%s)\n", s.path.c_str(),
            cause.text.data());
    trigger_note(s, cause);
    event_write(f, RecordType::Note, time_us, s.note, now_us);
    write_ring(f, now_us);
}

void trigger(FlightRecorder &f, uint64_t time_us, const FlightCause &cause, int64_t now_us)
{
    FlightState &s = *f.state;
    end_if_over(s, time_us);
    if (!s.open) {
        start_event(f, time_us, cause, now_us);
        return;
    }
    s.end_us = std::max(s.end_us, time_us + uint64_t(f.options.ring_us));
    trigger_note(s, cause);
    event_write(f, RecordType::Note, time_us, s.note, now_us);
}

} // namespace

FlightRecorder::FlightRecorder() = default;

FlightRecorder::~FlightRecorder()
{
    if (state)
        flight_close(*this);
}

void flight_init(FlightRecorder &f, const FlightOptions &options)
{
    if (f.state)
        flight_close(f);
    f.options = options;
    f.state = std::make_unique<FlightState>();
    f.events = 0;
    f.dropped = 0;
    flight_ring_init(f.state->ring, options.max_bytes);
    flight_triggers_init(f.state->triggers, options.ring_us, options.below_quality);
}

void flight_line(FlightRecorder &f, uint64_t time_us, std::string_view line, int64_t now_us)
{
    FlightState &s = *f.state;
    line_record_from_line(line, s.record);
    keep(f, s.record.type, time_us, s.record.body, now_us);
    if (!is_air_line(line) || !parse_air_line(line, s.air))
        return;
    flight_triggers_air(s.triggers, time_us, s.air, s.causes);
    for (size_t i = 0; i < s.causes.count; i++)
        trigger(f, time_us, s.causes.list[i], now_us);
}

void flight_note(FlightRecorder &f, uint64_t time_us, std::string_view note_json, int64_t now_us)
{
    keep(f, RecordType::Note, time_us, note_json, now_us);
}

void flight_trigger(FlightRecorder &f, uint64_t time_us, std::string_view cause, int64_t now_us)
{
    FlightCause word{};
    flight_cause_word(cause, word);
    trigger(f, time_us, word, now_us);
}

void flight_tick(FlightRecorder &f, uint64_t time_us, int64_t now_us)
{
    FlightState &s = *f.state;
    end_if_over(s, time_us);
    if (s.open)
        recording_writer_sync_due(s.writer, now_us);
}

void flight_close(FlightRecorder &f)
{
    if (f.state && f.state->open)
        end_event(*f.state, "closed");
}
