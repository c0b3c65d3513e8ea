// SPDX-License-Identifier: MIT
// The recording of rfwatch-record's file mode: one file, created or
// appended to, that rotates before it passes its bound: FILE becomes
// FILE.1 (an older FILE.1 goes) and a new FILE begins, so the pair never
// holds more than twice the bound.
#pragma once

#include "recording_format.h"
#include "recording_writer.h"

#include <cstdint>
#include <string>
#include <string_view>

struct RecordFile {
    std::string path;
    uint64_t max_bytes;
    RecordingHeader header; // for each new file (started_us set at its start)
    RecordingWriter writer;
    bool open = false;
    bool holds_records = false; // rotating an empty file would make no room
    uint64_t rotations = 0;
    std::string error; // the last failure, one line
};

// Whether path can take a recording: missing (and its folder writable), or
// a recording already (appended to). false: error says why, nothing is
// touched.
bool record_file_usable(const std::string &path, std::string &error);

void record_file_init(RecordFile &f, std::string path, uint64_t max_bytes,
                      const RecordingHeader &header);
// Writes one record, opening the file first and rotating when it would
// pass the bound. false: f.error says why; the file ends at its last whole
// record.
bool record_file_write(RecordFile &f, RecordType type, uint64_t time_us, std::string_view body,
                       int64_t now_us);
void record_file_tick(RecordFile &f, int64_t now_us);
// Syncs and closes (a later write opens it again, appending).
void record_file_close(RecordFile &f);
