// SPDX-License-Identifier: MIT
#include "export_item.h"

#include "export_dbm.h"
#include "frame.h"
#include "line_record.h"

#include <cmath>
#include <limits>
#include <string_view>

namespace
{

uint64_t get_le(std::span<const uint8_t> at, size_t bytes)
{
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; i++)
        value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

bool is_magnitudes(const SpectrumLine &line, MagnitudeRule rule)
{
    if (rule == MagnitudeRule::Unknown)
        return std::string_view(driver_of_spectrum(line)) == "ath10k";
    return rule == MagnitudeRule::Always;
}

} // namespace

MagnitudeRule magnitude_rule_of(const RecordingHeader &header)
{
    if (header.driver == "ath10k" || header.unit == "magnitude")
        return MagnitudeRule::Always;
    if (header.driver == "ath11k" || header.unit == "dBm")
        return MagnitudeRule::Never;
    return MagnitudeRule::Unknown;
}

void spectrum_of_frame(const SpectrumFrame &frame, SpectrumLine &out)
{
    const std::span<const uint8_t> bytes(frame.bytes.data(), frame.size);
    out.detector = bytes[1];
    out.freq_mhz = static_cast<uint16_t>(get_le(bytes.subspan(2), 2));
    out.bandwidth_mhz = static_cast<uint16_t>(get_le(bytes.subspan(4), 2));
    out.noise_dbm = static_cast<int16_t>(get_le(bytes.subspan(6), 2));
    out.rssi = static_cast<uint16_t>(get_le(bytes.subspan(8), 2));
    out.n = get_le(bytes.subspan(10), 2);
    out.num_aggregated = static_cast<uint32_t>(get_le(bytes.subspan(12), 4));
    out.timestamp = get_le(bytes.subspan(16), 8);
    for (size_t j = 0; j < out.n; j++) {
        const auto h = static_cast<int16_t>(get_le(bytes.subspan(FRAME_HEADER_SIZE + 2 * j), 2));
        out.bins[j] = h == FRAME_BIN_NULL ? std::numeric_limits<double>::quiet_NaN() : h / 100.0;
    }
}

ExportItemKind export_item_of(RecordType type, std::span<const uint8_t> body, MagnitudeRule rule,
                              ExportItem &out)
{
    bool spectrum = false;
    switch (type) {
    case RecordType::Note:
        return ExportItemKind::Note;
    case RecordType::Frame:
        // frame_from_bytes checks the version and the length against the
        // bin count, so the decoding below stays inside the frame.
        spectrum = frame_from_bytes(body, out.frame);
        if (spectrum)
            spectrum_of_frame(out.frame, out.spectrum);
        break;
    case RecordType::Line: {
        const std::string_view text(reinterpret_cast<const char *>(body.data()), body.size());
        if (is_air_line(text))
            return parse_air_line(text, out.air) ? ExportItemKind::Air : ExportItemKind::Unreadable;
        spectrum = parse_spectrum_line(text, out.spectrum);
        break;
    }
    }
    if (!spectrum)
        return ExportItemKind::Unreadable;
    if (is_magnitudes(out.spectrum, rule))
        magnitudes_to_dbm(out.spectrum);
    return ExportItemKind::Spectrum;
}
