// SPDX-License-Identifier: MIT
#include "recording_writer.h"
#include "recording_reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// One write() for the whole of bytes, so that a power cut tears at most the
// record being written; a short write is cut back to the last whole record.
bool write_whole(RecordingWriter &w, const std::string &bytes)
{
    ssize_t n;
    do {
        n = write(w.fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(bytes.size())) {
        w.size += bytes.size();
        return true;
    }
    int saved = n < 0 ? errno : ENOSPC; // a short write is a full disk
    if (n > 0 && ftruncate(w.fd, static_cast<off_t>(w.size)) != 0)
        saved = errno;
    errno = saved;
    return false;
}

// Reads the existing recording through to its last whole record: where the
// next record goes.
WriterOpen find_append_point(const char *path, uint64_t &good_end)
{
    RecordingReader r;
    RecordingReaderGuard guard{r};
    switch (recording_open(r, path)) {
    case OpenResult::Ok:
        break;
    case OpenResult::TornHeader:
        good_end = 0;
        return WriterOpen::Created;
    case OpenResult::Missing:
        return WriterOpen::Failed;
    case OpenResult::NotRecording:
        return WriterOpen::NotRecording;
    }
    Record rec;
    ReadResult result;
    while ((result = recording_next(r, rec)) == ReadResult::Record) {
    }
    if (result == ReadResult::Damaged) {
        errno = EBADMSG;
        return WriterOpen::Failed;
    }
    good_end = r.good_end;
    return WriterOpen::Appended;
}

WriterOpen fail(RecordingWriter &w)
{
    int saved = errno;
    recording_writer_close(w);
    errno = saved;
    return WriterOpen::Failed;
}

} // namespace

WriterOpen recording_writer_open(RecordingWriter &w, const char *path,
                                 const RecordingHeader &header)
{
    w = RecordingWriter{};
    w.path = path;
    w.fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (w.fd < 0)
        return WriterOpen::Failed;
    struct stat st {
    };
    if (fstat(w.fd, &st) != 0)
        return fail(w);
    if (!S_ISREG(st.st_mode)) {
        recording_writer_close(w);
        return WriterOpen::NotRecording;
    }
    WriterOpen how = WriterOpen::Created;
    uint64_t good_end = 0;
    if (st.st_size > 0) {
        how = find_append_point(path, good_end);
        if (how == WriterOpen::Failed)
            return fail(w);
        if (how == WriterOpen::NotRecording) {
            recording_writer_close(w);
            return how;
        }
    }
    // A torn tail (or a torn header) goes before anything is added after it.
    if (static_cast<uint64_t>(st.st_size) > good_end &&
        ftruncate(w.fd, static_cast<off_t>(good_end)) != 0)
        return fail(w);
    w.size = good_end;
    if (how == WriterOpen::Created && !write_whole(w, recording_header_bytes(header)))
        return fail(w);
    return how;
}

bool recording_write(RecordingWriter &w, RecordType type, uint64_t time_us, std::string_view body,
                     int64_t now_us)
{
    if (w.fd < 0) {
        errno = EBADF;
        return false;
    }
    if (!recording_record_bytes(type, time_us,
                                {reinterpret_cast<const uint8_t *>(body.data()), body.size()},
                                w.scratch)) {
        errno = EMSGSIZE;
        return false;
    }
    if (!write_whole(w, w.scratch))
        return false;
    recording_writer_sync_due(w, now_us);
    return true;
}

void recording_writer_sync_due(RecordingWriter &w, int64_t now_us)
{
    if (w.fd < 0 || now_us - w.last_sync_us < RECORDING_SYNC_US)
        return;
    // A failed sync is seen again by the next one or by close; the record
    // itself is written.
    static_cast<void>(fdatasync(w.fd));
    w.last_sync_us = now_us;
}

void recording_writer_close(RecordingWriter &w)
{
    if (w.fd < 0)
        return;
    static_cast<void>(fdatasync(w.fd));
    close(w.fd);
    w.fd = -1;
}
