// SPDX-License-Identifier: MIT
// Writes a recording: creates it with its header, or appends to an existing
// one (cutting a torn tail first), one write() per record, and syncs to disk
// at most every sync_every_us so that a power cut loses little.
#pragma once

#include "recording_format.h"

#include <cstdint>
#include <string>
#include <string_view>

constexpr int64_t RECORDING_SYNC_US = 1000000;

struct RecordingWriter {
    int fd = -1;
    std::string path;
    uint64_t size = 0; // bytes in the file
    int64_t last_sync_us = 0;
    std::string scratch; // one record's bytes, reused
};

enum class WriterOpen { Created, Appended, Failed, NotRecording };

// Opens path for writing. A missing or empty file gets header; an existing
// recording is appended to (its own header kept, a torn tail cut);
// anything else is refused (NotRecording), never overwritten. Failed: errno;
// EBADMSG when a record before the end is damaged (appending would hide the
// new records behind it, cutting it would lose the records after it). A
// recording cut inside its header holds nothing and is begun again.
WriterOpen recording_writer_open(RecordingWriter &w, const char *path,
                                 const RecordingHeader &header);
// false: the write failed or was short (errno set); the file then ends at
// its last whole record.
bool recording_write(RecordingWriter &w, RecordType type, uint64_t time_us, std::string_view body,
                     int64_t now_us);
// fdatasync when sync_every_us has passed since the last one.
void recording_writer_sync_due(RecordingWriter &w, int64_t now_us);
// Syncs and closes.
void recording_writer_close(RecordingWriter &w);

struct RecordingWriterGuard {
    RecordingWriter &w;
    ~RecordingWriterGuard() { recording_writer_close(w); }
};
