// SPDX-License-Identifier: MIT
#include "replay_source.h"

#include "line_record.h"

OpenResult source_open(ReplaySource &s, const char *path)
{
    s.path = path;
    s.reader = RecordingReader{};
    const OpenResult r = recording_open(s.reader, path);
    s.is_open = true; // whatever the result: the reader may hold the file
    s.readable = r == OpenResult::Ok || r == OpenResult::TornHeader;
    s.pass_lines = 0;
    s.unreadable = 0;
    return r;
}

bool source_next(ReplaySource &s)
{
    if (!s.readable) {
        s.end = ReadResult::End;
        return false;
    }
    for (;;) {
        const ReadResult r = recording_next(s.reader, s.rec);
        if (r != ReadResult::Record) {
            s.end = r;
            return false;
        }
        if (s.rec.type == RecordType::Note)
            continue;
        if (!line_from_record(s.rec.type, s.rec.body, s.line)) {
            s.unreadable++;
            continue;
        }
        s.time_us = s.rec.time_us;
        s.pass_lines++;
        return true;
    }
}

OpenResult source_rewind(ReplaySource &s)
{
    source_close(s);
    const std::string path = s.path;
    return source_open(s, path.c_str());
}

void source_close(ReplaySource &s)
{
    if (s.is_open)
        recording_close(s.reader);
    s.is_open = false;
    s.readable = false;
}
