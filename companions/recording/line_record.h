// SPDX-License-Identifier: MIT
// A line of rfwatchd as a record and back: a spectrum line becomes a frame
// record when spectrum_line_text gives it back byte for byte, any other line
// a text record. So a replay serves exactly what was recorded.
#pragma once

#include "recording_format.h"
#include "sample_line.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct LineRecord {
    RecordType type;
    std::string body; // reused
};

// Chooses the record for line (without its "\n").
void line_record_from_line(std::string_view line, LineRecord &out);
// The line a Frame or Line record stands for; false for a Note or a frame
// body that is not a version-1 frame.
bool line_from_record(RecordType type, std::span<const uint8_t> body, std::string &line);

// The driver a spectrum line comes from, when nothing says it: ath11k's
// decoder writes a noise of -109 dBm into every line, ath10k's the
// hardware's own.
const char *driver_of_spectrum(const SpectrumLine &line);
