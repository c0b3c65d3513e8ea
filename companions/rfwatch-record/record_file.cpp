// SPDX-License-Identifier: MIT
#include "record_file.h"

#include "recording_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

std::string failure(const std::string &what, const std::string &path)
{
    return "cannot " + what + " " + path + ": " + strerror(errno);
}

bool open_writer(RecordFile &f, uint64_t time_us)
{
    f.header.started_us = time_us;
    switch (recording_writer_open(f.writer, f.path.c_str(), f.header)) {
    case WriterOpen::Created:
        f.open = true;
        f.holds_records = false;
        return true;
    case WriterOpen::Appended:
        f.open = true;
        f.holds_records = true; // or only a header: small either way
        return true;
    case WriterOpen::NotRecording:
        f.error = f.path + " is not a recording: not overwritten";
        return false;
    case WriterOpen::Failed:
        break;
    }
    f.error = failure("open", f.path);
    return false;
}

// The file grows past the bound only when a fresh one could not hold the
// record either (the bound's minimum makes that impossible).
bool rotate(RecordFile &f, uint64_t time_us)
{
    recording_writer_close(f.writer);
    f.open = false;
    const std::string older = f.path + ".1";
    if (rename(f.path.c_str(), older.c_str()) != 0) {
        f.error = failure("rotate", f.path + " to " + older);
        return false;
    }
    f.rotations++;
    return open_writer(f, time_us);
}

} // namespace

bool record_file_usable(const std::string &path, std::string &error)
{
    RecordingReader r;
    const OpenResult opened = recording_open(r, path.c_str());
    const int open_errno = errno;
    recording_close(r);
    switch (opened) {
    case OpenResult::Ok:
    case OpenResult::TornHeader:
        if (access(path.c_str(), W_OK) == 0)
            return true;
        error = failure("write", path);
        return false;
    case OpenResult::NotRecording:
        error = path + " is not a recording: not overwritten";
        return false;
    case OpenResult::Missing:
        break;
    }
    if (open_errno != ENOENT) {
        errno = open_errno;
        error = failure("read", path);
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (access(dir.c_str(), W_OK | X_OK) == 0)
        return true;
    error = failure("create files in", dir);
    return false;
}

void record_file_init(RecordFile &f, std::string path, uint64_t max_bytes,
                      const RecordingHeader &header)
{
    f.path = std::move(path);
    f.max_bytes = max_bytes;
    f.header = header;
    f.open = false;
    f.rotations = 0;
}

bool record_file_write(RecordFile &f, RecordType type, uint64_t time_us, std::string_view body,
                       int64_t now_us)
{
    if (!f.open && !open_writer(f, time_us))
        return false;
    const uint64_t need = RECORD_HEAD_SIZE + body.size() + RECORD_CRC_SIZE;
    if (f.writer.size + need > f.max_bytes && f.holds_records && !rotate(f, time_us))
        return false;
    if (recording_write(f.writer, type, time_us, body, now_us)) {
        f.holds_records = true;
        return true;
    }
    f.error = failure("write", f.path);
    return false;
}

void record_file_tick(RecordFile &f, int64_t now_us)
{
    if (f.open)
        recording_writer_sync_due(f.writer, now_us);
}

void record_file_close(RecordFile &f)
{
    if (f.open)
        recording_writer_close(f.writer);
    f.open = false;
}
