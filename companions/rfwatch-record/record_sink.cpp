// SPDX-License-Identifier: MIT
#include "record_sink.h"

#include "air_line.h"

#include <memory>

namespace
{

// The header is known now: the first line told what --driver did not.
void start(RecordSink &s, std::string_view first_line)
{
    s.started = true;
    RecordingHeader &h = s.kind == SinkKind::File ? s.file.header : s.flight_options.header;
    if (h.driver.empty())
        h.driver = driver_of_line(first_line);
    h.unit = recording_unit_of(h.driver);
    if (s.kind == SinkKind::Flight)
        flight_init(s.flight, s.flight_options);
}

bool put_note(RecordSink &s, uint64_t time_us, std::string_view json, int64_t now_us)
{
    if (s.kind == SinkKind::Flight) {
        flight_note(s.flight, time_us, json, now_us);
        return true;
    }
    return record_file_write(s.file, RecordType::Note, time_us, json, now_us);
}

bool flush_pending(RecordSink &s, int64_t now_us)
{
    bool ok = true;
    for (size_t i = 0; i < s.pending_count && ok; i++)
        ok = put_note(s, s.pending[i].time_us, s.pending[i].json, now_us);
    s.pending_count = 0;
    return ok;
}

} // namespace

std::string driver_of_line(std::string_view line)
{
    if (is_air_line(line)) {
        const auto air = std::make_unique<AirLine>();
        return parse_air_line(line, *air) ? air->driver : "";
    }
    const auto spectrum = std::make_unique<SpectrumLine>();
    return parse_spectrum_line(line, *spectrum) ? driver_of_spectrum(*spectrum) : "";
}

std::string note_source(const char *source, bool connected)
{
    return std::string(R"({"note":")") + source + R"(","state":")" +
           (connected ? "connected" : "unreachable") + "\"}";
}

std::string note_lost(uint64_t lines)
{
    return R"({"note":"lost","lines":)" + std::to_string(lines) + "}";
}

void sink_init_file(RecordSink &s, const RecordingHeader &header, const std::string &path,
                    uint64_t max_bytes)
{
    s.kind = SinkKind::File;
    s.started = false;
    record_file_init(s.file, path, max_bytes, header);
}

void sink_init_flight(RecordSink &s, const FlightOptions &options)
{
    s.kind = SinkKind::Flight;
    s.started = false;
    s.flight_options = options;
}

bool sink_line(RecordSink &s, uint64_t time_us, std::string_view line, int64_t now_us)
{
    if (!s.started) {
        start(s, line);
        if (!flush_pending(s, now_us))
            return false;
    }
    if (s.kind == SinkKind::Flight) {
        flight_line(s.flight, time_us, line, now_us);
        return true;
    }
    line_record_from_line(line, s.record);
    return record_file_write(s.file, s.record.type, time_us, s.record.body, now_us);
}

bool sink_note(RecordSink &s, uint64_t time_us, std::string_view json, int64_t now_us)
{
    if (s.started)
        return put_note(s, time_us, json, now_us);
    if (s.pending_count == SINK_PENDING_NOTES) {
        for (size_t i = 1; i < SINK_PENDING_NOTES; i++)
            s.pending[i - 1] = std::move(s.pending[i]);
        s.pending_count--;
        s.pending_dropped++;
    }
    s.pending[s.pending_count++] = {time_us, std::string(json)};
    return true;
}

void sink_trigger(RecordSink &s, uint64_t time_us, std::string_view cause, int64_t now_us)
{
    if (s.kind != SinkKind::Flight)
        return;
    // An event before any line still records the SECONDS after it; the
    // driver stays unknown in its header.
    if (!s.started) {
        start(s, "");
        flush_pending(s, now_us);
    }
    flight_trigger(s.flight, time_us, cause, now_us);
}

void sink_tick(RecordSink &s, uint64_t time_us, int64_t now_us)
{
    if (s.kind == SinkKind::File)
        record_file_tick(s.file, now_us);
    else if (s.started)
        flight_tick(s.flight, time_us, now_us);
}

void sink_close(RecordSink &s)
{
    if (s.kind == SinkKind::File)
        record_file_close(s.file);
    else if (s.started)
        flight_close(s.flight);
}

const std::string &sink_error(const RecordSink &s)
{
    return s.file.error;
}
