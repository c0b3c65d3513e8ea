// A recording file built from lines, for the tests of the programs that read
// recordings (replay, export, the page) and for scripts (make-recording).
#pragma once

#include "recording_format.h"

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

} // namespace wdtest
