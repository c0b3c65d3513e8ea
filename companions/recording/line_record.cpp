// SPDX-License-Identifier: MIT
#include "line_record.h"

#include "frame.h"

namespace
{

// ath11k's spectral decoder reports every sample against this fixed floor.
constexpr int16_t ATH11K_NOISE_DBM = -109;

} // namespace

void line_record_from_line(std::string_view line, LineRecord &out)
{
    // Per thread and reused: a recorder calls this for every line, and the
    // parsed line and its frame are too large for comfort on small stacks.
    thread_local SpectrumFrame frame;
    thread_local std::string text;
    // The frame is kept only if it writes the line again exactly.
    if (frame_from_line(line, frame)) {
        spectrum_line_text(frame, text);
        if (text == line) {
            out.type = RecordType::Frame;
            out.body.assign(reinterpret_cast<const char *>(frame.bytes.data()), frame.size);
            return;
        }
    }
    out.type = RecordType::Line;
    out.body.assign(line);
}

bool line_from_record(RecordType type, std::span<const uint8_t> body, std::string &line)
{
    switch (type) {
    case RecordType::Frame: {
        thread_local SpectrumFrame frame;
        if (!frame_from_bytes(body, frame))
            return false;
        spectrum_line_text(frame, line);
        return true;
    }
    case RecordType::Line:
        line.assign(reinterpret_cast<const char *>(body.data()), body.size());
        return true;
    case RecordType::Note:
        return false;
    }
    return false;
}

const char *driver_of_spectrum(const SpectrumLine &line)
{
    return line.noise_dbm == ATH11K_NOISE_DBM ? "ath11k" : "ath10k";
}
