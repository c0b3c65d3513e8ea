// SPDX-License-Identifier: MIT
// The sample source over a file whose successive reads the input decides,
// driven as the daemon's sample step drives it (a reset after NoData). The
// source must hand out exactly the reports that parsing the reads gives, in
// order: none lost, none twice, and never loop without progress.
//
// Input: a flags byte (bit 0: ath10k instead of ath11k; bit 1: relay mode),
// then
// - short reads: records of a 16-bit little-endian length and that many
//   bytes, one read each; a read shorter than the buffer ends at a report
//   boundary on the driver's side, so each read is parsed on its own and a
//   report cut by its end is dropped;
// - relay mode: 16-bit little-endian lengths before and after, then a
//   pattern that is repeated over that many bytes before and after the end
//   of the first, full read (the stream starts with skippable filler
//   reports); the file delivers it as the relay file does, a full read then
//   the rest, and a report cut by the full read is completed by the next
//   one, so the source must yield what parsing the whole stream in one piece
//   yields.
#include "capture/spectral_source.h"
#include "sample_checks.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace
{

using Bytes = std::span<const uint8_t>;

// The memory file that the source opens by path, rewritten before every
// refill with the bytes of the next read.
struct ReadFile {
    int fd = -1;
    char path[64] = {};
};

ReadFile &read_file()
{
    static ReadFile file = [] {
        ReadFile f;
        f.fd = memfd_create("spectral_scan0", 0);
        FUZZ_CHECK(f.fd >= 0);
        snprintf(f.path, sizeof f.path, "/proc/self/fd/%d", f.fd);
        return f;
    }();
    return file;
}

void set_next_read(Bytes bytes)
{
    // Written over the old bytes, then cut: the file keeps its pages.
    int fd = read_file().fd;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        FUZZ_CHECK(n > 0);
        done += static_cast<size_t>(n);
    }
    FUZZ_CHECK(ftruncate(fd, static_cast<off_t>(bytes.size())) == 0);
}

// The reports a range yields when parsed in one piece, one at a time; the
// range ends at the first NoData (what follows is an incomplete report).
struct Reference {
    const ScanDriver *driver = nullptr;
    Bytes range;
    size_t pos = 0;

    bool next(SpectralSample &out)
    {
        while (pos < range.size()) {
            size_t consumed = 0;
            SourceError r = driver->parse(range.data() + pos, range.size() - pos, out, consumed);
            if (r == SourceError::NoData || consumed == 0)
                break;
            pos += consumed;
            if (r == SourceError::Success)
                return true;
        }
        pos = range.size();
        return false;
    }
};

bool same_sample(const SpectralSample &a, const SpectralSample &b)
{
    return a.detector == b.detector && a.freq_mhz == b.freq_mhz &&
           a.bandwidth_mhz == b.bandwidth_mhz && a.noise_dbm == b.noise_dbm && a.rssi == b.rssi &&
           a.timestamp == b.timestamp && a.bin_count == b.bin_count &&
           memcmp(a.bins, b.bins, a.bin_count * sizeof a.bins[0]) == 0;
}

uint16_t le16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Reports of the driver's type with an invalid length, which both parsers
// skip whole: they fill length bytes cheaply.
void append_filler(std::vector<uint8_t> &out, uint8_t type, size_t length)
{
    constexpr size_t LARGEST = 0xffff + 3;
    while (length > 0) {
        size_t block = length <= LARGEST ? length : length - LARGEST >= 3 ? LARGEST : LARGEST - 3;
        size_t body = block - 3;
        out.push_back(type);
        out.push_back(static_cast<uint8_t>(body >> 8));
        out.push_back(static_cast<uint8_t>(body));
        out.insert(out.end(), body, 0);
        length -= block;
    }
}

// The reads the file will deliver, in order.
struct Reads {
    bool relay = false;
    std::vector<Bytes> chunks; // short reads
    size_t next_chunk = 0;
    Bytes stream; // relay mode
    size_t stream_at = 0;

    size_t total() const
    {
        size_t n = stream.size();
        for (Bytes c : chunks)
            n += c.size();
        return n;
    }
};

Reads split_input(const uint8_t *data, size_t size)
{
    Reads reads;
    reads.relay = (data[0] & 2) != 0;
    size_t at = 1;
    if (!reads.relay) {
        while (at + 2 <= size) {
            size_t n = std::min<size_t>(le16(data + at), size - at - 2);
            at += 2;
            if (n > 0) // an empty read only makes the source pause
                reads.chunks.push_back({data + at, n});
            at += n;
        }
        return reads;
    }
    static std::vector<uint8_t> stream;
    stream.clear();
    if (at + 4 < size) {
        size_t before = le16(data + at), after = le16(data + at + 2);
        Bytes pattern(data + at + 4, size - at - 4);
        append_filler(stream, data[0] & 1 ? 3 : 4, SPECTRAL_SOURCE_CAPACITY - before);
        // The pattern, then the bytes so far doubled until the length is met.
        size_t start = stream.size(), length = before + after;
        stream.resize(start + length);
        uint8_t *region = stream.data() + start;
        size_t done = std::min(length, pattern.size());
        memcpy(region, pattern.data(), done);
        for (; done < length; done += std::min(done, length - done))
            memcpy(region + done, region, std::min(done, length - done));
    }
    reads.stream = stream;
    return reads;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const ScanDriver &driver = scan_drivers[data[0] & 1];
    Reads reads = split_input(data, size);

    SpectralSource source{};
    FUZZ_CHECK(source_init(source, driver, read_file().path) == SourceError::Success);
    Reference ref{&driver, reads.stream, 0};
    // Every call hands out a report, skips at least one byte or ends a read.
    size_t calls = 0, limit = reads.total() + 2 * (reads.chunks.size() + 2);
    SpectralSample got, want;

    for (;;) {
        if (source.position >= source.filled) {
            // The next call reads the file: give it the next read, or stop.
            if (reads.relay) {
                if (reads.stream_at == reads.stream.size())
                    break;
                size_t asked = source.capacity - source.carried;
                size_t n = std::min(asked, reads.stream.size() - reads.stream_at);
                set_next_read(reads.stream.subspan(reads.stream_at, n));
                reads.stream_at += n;
            } else {
                if (reads.next_chunk == reads.chunks.size())
                    break;
                FUZZ_CHECK(!ref.next(want)); // the previous read gave all it held
                FUZZ_CHECK(source.carried == 0);
                ref = Reference{&driver, reads.chunks[reads.next_chunk++], 0};
                set_next_read(ref.range);
            }
        }
        SourceError r = source_next_sample(source, got);
        FUZZ_CHECK(++calls <= limit);
        FUZZ_CHECK(source.position <= source.filled && source.filled <= source.capacity);
        FUZZ_CHECK(source.carried <= source.capacity / 2);
        if (r == SourceError::Success) {
            FUZZ_CHECK(wdfuzz::valid_bin_count(got.bin_count));
            FUZZ_CHECK(ref.next(want));
            FUZZ_CHECK(same_sample(got, want));
        } else if (r == SourceError::NoData) {
            source_reset(&source);
        } else {
            FUZZ_CHECK(r == SourceError::InvalidSample);
        }
    }
    FUZZ_CHECK(!ref.next(want));
    source_free(&source);
    return 0;
}
