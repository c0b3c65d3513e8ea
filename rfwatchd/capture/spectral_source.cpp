// SPDX-License-Identifier: MIT
#include "capture/spectral_source.h"

#include "base/fd_guard.h"
#include "base/free_ptr.h"
#include "base/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// A carried tail is at most one report (under 64 KiB + 3 by its length
// field); anything longer cannot be a report cut by the read and is dropped.
constexpr size_t MAX_CARRIED = SPECTRAL_SOURCE_CAPACITY / 2;

// One open, one read, one close, appending after any carried tail.
// Returns the byte count, or -1 with the message printed.
ssize_t refill(SpectralSource &source)
{
    FdGuard fd(open(source.path, O_RDONLY));
    if (fd.get() < 0) {
        log_text("Failed to open %s: %s\n", source.path, strerror(errno));
        return -1;
    }
    size_t asked = source.capacity - source.carried;
    ssize_t got = read(fd.get(), source.buffer + source.carried, asked);
    int read_errno = errno;
    fd.reset();
    if (got < 0) {
        log_text("Read failed on %s: %s\n", source.path, strerror(read_errno));
        return -1;
    }
    source.last_read_full = got > 0 && static_cast<size_t>(got) == asked;
    return got;
}

// The relay file cuts a report only where a read stopped at the byte count
// it was asked for; keep such a tail for the next read to complete.
bool carry_tail(SpectralSource &source)
{
    size_t tail = source.filled - source.position;
    if (!source.last_read_full || tail == 0 || tail > MAX_CARRIED)
        return false;
    memmove(source.buffer, source.buffer + source.position, tail);
    source.carried = tail;
    source.filled = 0;
    source.position = 0;
    source.last_read_full = false;
    return true;
}

} // namespace

SourceError source_init(SpectralSource &source, const ScanDriver &driver, const char *path)
{
    source = SpectralSource{};
    if (path == nullptr)
        return SourceError::InvalidParameters;
    FreePtr<char, free> copy(strdup(path));
    if (copy == nullptr)
        return SourceError::InvalidParameters;
    FreePtr<uint8_t, free> buffer(static_cast<uint8_t *>(malloc(SPECTRAL_SOURCE_CAPACITY)));
    if (buffer == nullptr)
        return SourceError::InvalidParameters;
    source.path = copy.release();
    source.buffer = buffer.release();
    source.capacity = SPECTRAL_SOURCE_CAPACITY;
    source.driver = &driver;
    log_text("Initialized spectral source: %s with driver %s (read-based)\n", path, driver.name);
    return SourceError::Success;
}

SourceError source_next_sample(SpectralSource &source, SpectralSample &sample)
{
    if (source.buffer == nullptr || source.driver == nullptr)
        return SourceError::InvalidParameters;

    if (source.position >= source.filled) {
        ssize_t got = refill(source);
        if (got < 0)
            return SourceError::FileReadError;
        if (got == 0)
            return SourceError::NoData;
        source.filled = source.carried + static_cast<size_t>(got);
        source.position = 0;
        source.carried = 0;
    }

    size_t consumed = 0;
    SourceError r = source.driver->parse(source.buffer + source.position,
                                         source.filled - source.position, sample, consumed);
    if (static_cast<int>(r) < 0) {
        source.position += consumed;
        if (r == SourceError::NoData)
            carry_tail(source);
        return r;
    }
    if (consumed == 0)
        return SourceError::NoData;
    source.position += consumed;
    return SourceError::Success;
}

bool source_buffered(const SpectralSource &source)
{
    return source.position < source.filled;
}

bool source_more_queued(const SpectralSource &source)
{
    // A carried tail is what is left of a read that filled the buffer.
    return source.last_read_full || source.carried > 0;
}

void source_reset(SpectralSource *source)
{
    if (source == nullptr)
        return;
    source->filled = 0;
    source->position = 0;
}

void source_free(SpectralSource *source)
{
    if (source == nullptr)
        return;
    free(source->buffer);
    free(source->path);
    *source = SpectralSource{};
}
