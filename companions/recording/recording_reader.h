// SPDX-License-Identifier: MIT
// Reads a recording front to back in constant memory: a header, then one
// record at a time. A torn or damaged tail ends the records; it never
// refuses the file.
#pragma once

#include "recording_format.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class ReadResult {
    Record, // rec holds the next record
    End,    // the file ends after a whole record
    Torn,   // the file ends inside a record (a power cut): dropped
    Damaged // a record's size or CRC is wrong before the end: the rest is skipped
};

struct Record {
    RecordType type;
    uint64_t time_us;
    std::vector<uint8_t> body; // reused from record to record
};

struct RecordingReader {
    FILE *file = nullptr;
    RecordingHeader header;
    uint64_t offset = 0;   // of the next record
    uint64_t good_end = 0; // end of the last whole record (where to append)
    uint64_t records = 0;  // whole records read so far
    // Record while reading goes on; then End, Torn or Damaged, which every
    // later call returns again.
    ReadResult stopped = ReadResult::Record;
};

enum class OpenResult {
    Ok,
    Missing,      // cannot be opened (errno kept)
    NotRecording, // no magic, or another version
    TornHeader,   // shorter than its header (a power cut while it was made):
                  // read as a recording without records
};

// Opens path and reads its header. Close with recording_close (RAII:
// RecordingReaderGuard).
OpenResult recording_open(RecordingReader &r, const char *path);
// The same on a stream already open (a pipe, fmemopen), which the reader
// then owns: recording_close closes it.
OpenResult recording_open_stream(RecordingReader &r, FILE *file);
ReadResult recording_next(RecordingReader &r, Record &rec);
void recording_close(RecordingReader &r);

struct RecordingReaderGuard {
    RecordingReader &r;
    ~RecordingReaderGuard() { recording_close(r); }
};

// One sentence for a result other than Ok / Record / End.
const char *recording_open_text(OpenResult result);
const char *recording_read_text(ReadResult result);
