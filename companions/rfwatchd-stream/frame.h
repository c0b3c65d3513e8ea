// SPDX-License-Identifier: MIT
// The compact binary form of one rfwatchd spectrum line, as sent to the
// browsers (version 1, little-endian; doc/web.md, "Frames").
#pragma once

#include "sample_line.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

constexpr size_t FRAME_HEADER_SIZE = 24;
constexpr size_t FRAME_MAX_BINS = LINE_MAX_BINS;
constexpr uint8_t FRAME_VERSION = 1;
// A bin that was not finite (null in the line).
constexpr int16_t FRAME_BIN_NULL = -32768;

struct SpectrumFrame {
    std::array<uint8_t, FRAME_HEADER_SIZE + 2 * FRAME_MAX_BINS> bytes;
    size_t size; // FRAME_HEADER_SIZE + 2 * n
};

// false when line is not a spectrum line (parse_spectrum_line; the caller
// counts it as dropped); out is then unspecified. A line in the daemon's own
// form is read by frame_from_canonical_line, any other by the general parse.
bool frame_from_line(std::string_view line, SpectrumFrame &out);
// The fast path alone: false when line is not in the daemon's own form
// (member order, no spaces, whole numbers, bins with two decimals or null,
// bin_count the number of bins, each bin within what a frame holds). true
// does not promise that the frame writes the line again: a caller that
// needs that compares spectrum_line_text with it.
bool frame_from_canonical_line(std::string_view line, SpectrumFrame &out);
void frame_from_spectrum(const SpectrumLine &line, SpectrumFrame &out);

// A frame received as bytes (a "compact" MQTT payload): false unless it is
// a version-1 frame whose length is exactly its header's bin count.
bool frame_from_bytes(std::span<const uint8_t> bytes, SpectrumFrame &out);

// dBm as hundredths of a dB, rounded to nearest (half away from zero) on the
// line's two decimals; beyond +-327.67 clamped to +-32767; not finite: null.
int16_t bin_hundredths(double dbm);

// The line rfwatchd writes for the frame's values (members in its order,
// bins "%.2f" or null, bin_count the frame's n), without the "\n". A line
// whose frame gives it back byte for byte can be stored as its frame.
void spectrum_line_text(const SpectrumFrame &frame, std::string &out);
