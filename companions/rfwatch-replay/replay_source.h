// SPDX-License-Identifier: MIT
// The recording read one line at a time, in constant memory: Frame and
// Line records become the lines rfwatchd sent; Notes are the recorder's
// own and are skipped. --loop reopens the file for each pass.
#pragma once

#include "recording_reader.h"

#include <cstdint>
#include <string>

struct ReplaySource {
    std::string path;
    RecordingReader reader;
    bool is_open = false;  // recording_close is owed
    bool readable = false; // it opened as a recording
    Record rec;
    std::string line;                 // the next line, without its "\n"
    uint64_t time_us = 0;             // when it arrived
    ReadResult end = ReadResult::End; // how the last pass ended
    uint64_t pass_lines = 0;          // lines read in this pass
    uint64_t unreadable = 0;          // frame records that are no frame, this pass
};

OpenResult source_open(ReplaySource &s, const char *path);
// The next line (in s.line and s.time_us); false at the end of the pass,
// with s.end saying how it ended.
bool source_next(ReplaySource &s);
// Back to the first record, for the next pass.
OpenResult source_rewind(ReplaySource &s);
void source_close(ReplaySource &s);

struct ReplaySourceGuard {
    ReplaySource &s;
    ~ReplaySourceGuard() { source_close(s); }
};
