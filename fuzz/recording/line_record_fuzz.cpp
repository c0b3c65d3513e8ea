// SPDX-License-Identifier: MIT
// Any line at all, as a recorder receives it from a socket or a broker: the
// record it gets gives the line back byte for byte, as a Frame only when the
// frame is a whole version-1 frame.
#include "frame.h"
#include "fuzz_check.h"
#include "line_record.h"

#include <cstring>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    LineRecord rec;
    line_record_from_line(line, rec);
    const std::span<const uint8_t> body(reinterpret_cast<const uint8_t *>(rec.body.data()),
                                        rec.body.size());
    FUZZ_CHECK(rec.type == RecordType::Frame || rec.type == RecordType::Line);
    if (rec.type == RecordType::Frame) {
        SpectrumFrame frame;
        FUZZ_CHECK(frame_from_bytes(body, frame));
    }
    std::string back;
    FUZZ_CHECK(line_from_record(rec.type, body, back));
    FUZZ_CHECK(back == line);
    return 0;
}
