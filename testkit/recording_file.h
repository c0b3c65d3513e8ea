// SPDX-License-Identifier: MIT
// A recording file built from lines, for the tests of the programs that read
// recordings (replay, export, the page) and for scripts (make-recording).
#pragma once

#include "recording_format.h"
#include "recording_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wdtest
{

struct RecordedLine {
    uint64_t time_us;
    std::string line; // without "\n"; stored as a Frame or Line record as the recorder would
};

// Writes a new recording at path (replacing any file there); false with
// errno on failure.
bool write_recording(const std::string &path, const RecordingHeader &header,
                     const std::vector<RecordedLine> &records);

// A recording read back whole: each record's type, time and text (the line
// a Frame or Line record stands for, a Note's JSON), and how reading ended.
struct ReadItem {
    RecordType type;
    uint64_t time_us;
    std::string text;
};

struct ReadBack {
    OpenResult opened = OpenResult::Missing;
    RecordingHeader header;
    std::vector<ReadItem> items;
    ReadResult end = ReadResult::End;
};

ReadBack read_recording(const std::string &path);
// The texts of the Notes (notes true) or of the lines, in order.
std::vector<std::string> texts_of(const ReadBack &r, bool notes = false);

} // namespace wdtest
