// SPDX-License-Identifier: MIT
// A recording's bytes, whatever they are: the reader never reads past them,
// stops for good at the first record that is torn or damaged, and every
// record it returns is exactly the bytes the writer would have made for it.
// A frame record whose line can be written again turns back into the same
// frame, so a replay re-recorded gives the same file.
#include "frame.h"
#include "fuzz_check.h"
#include "line_record.h"
#include "recording_reader.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

void check_frame_comes_back(const Record &rec)
{
    std::string line;
    if (!line_from_record(rec.type, rec.body, line)) {
        FUZZ_CHECK(rec.type != RecordType::Line);
        return;
    }
    if (rec.type != RecordType::Frame)
        return;
    LineRecord again;
    line_record_from_line(line, again);
    FUZZ_CHECK(again.type == RecordType::Frame);
    FUZZ_CHECK(again.body.size() == rec.body.size());
    FUZZ_CHECK(memcmp(again.body.data(), rec.body.data(), rec.body.size()) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // fmemopen refuses a zero size; an empty file is read from /dev/null.
    FILE *file =
        size != 0 ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : fopen("/dev/null", "rb");
    FUZZ_CHECK(file != nullptr);
    RecordingReader r;
    RecordingReaderGuard guard{r};
    const OpenResult opened = recording_open_stream(r, file);
    FUZZ_CHECK(opened != OpenResult::Missing);
    if (opened == OpenResult::NotRecording)
        return 0;

    Record rec;
    std::string bytes;
    ReadResult result;
    uint64_t at = r.good_end;
    while ((result = recording_next(r, rec)) == ReadResult::Record) {
        FUZZ_CHECK(rec.body.size() <= RECORD_MAX_BODY);
        FUZZ_CHECK(recording_record_bytes(rec.type, rec.time_us, rec.body, bytes));
        FUZZ_CHECK(r.good_end == at + bytes.size() && r.good_end <= size);
        FUZZ_CHECK(memcmp(data + at, bytes.data(), bytes.size()) == 0);
        check_frame_comes_back(rec);
        at = r.good_end;
    }
    FUZZ_CHECK(r.good_end == r.offset);
    if (result == ReadResult::End)
        FUZZ_CHECK(opened == OpenResult::TornHeader || r.good_end == size);
    else
        FUZZ_CHECK(r.good_end < size);
    // Stopped for good.
    FUZZ_CHECK(recording_next(r, rec) == result);
    return 0;
}
