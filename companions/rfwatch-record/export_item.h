// SPDX-License-Identifier: MIT
// What an export takes from one record: a spectrum in dBm, an air line, or
// nothing (a Note, or a line neither parser takes).
#pragma once

#include "air_line.h"
#include "frame.h"
#include "recording_format.h"
#include "sample_line.h"

#include <cstdint>
#include <span>

enum class ExportItemKind { Spectrum, Air, Note, Unreadable };

// Whether the recording's spectra are ath10k magnitudes; Unknown (an old or
// page-made header without a driver) decides line by line.
enum class MagnitudeRule { Never, Always, Unknown };

struct ExportItem {
    SpectrumLine spectrum; // dBm, whatever the driver
    AirLine air;
    SpectrumFrame frame; // a Frame record's body, checked
};

MagnitudeRule magnitude_rule_of(const RecordingHeader &header);

// A frame as the spectrum line it stands for: hundredths of a dB back to
// dBm, the null bin to NaN.
void spectrum_of_frame(const SpectrumFrame &frame, SpectrumLine &out);

ExportItemKind export_item_of(RecordType type, std::span<const uint8_t> body, MagnitudeRule rule,
                              ExportItem &out);
