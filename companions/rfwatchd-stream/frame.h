// The compact binary form of one rfwatchd spectrum line, as sent to the
// browsers (version 1, little-endian; README "rfwatch-web frames").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

constexpr size_t FRAME_HEADER_SIZE = 24;
// The most bins the daemon writes (an 80 MHz ath10k report has 512); a line
// with more is refused, so a frame never needs more room than this.
constexpr size_t FRAME_MAX_BINS = 512;
constexpr uint8_t FRAME_VERSION = 1;
// A bin that was not finite (null in the line).
constexpr int16_t FRAME_BIN_NULL = -32768;

struct SpectrumFrame {
    std::array<uint8_t, FRAME_HEADER_SIZE + 2 * FRAME_MAX_BINS> bytes;
    size_t size; // FRAME_HEADER_SIZE + 2 * n
};

// false when line is not a spectrum line whose fields fit the frame's types
// (the caller counts it as dropped); out is then unspecified.
bool frame_from_line(std::string_view line, SpectrumFrame &out);

// A frame received as bytes (a "compact" MQTT payload): false unless it is
// a version-1 frame whose length is exactly its header's bin count.
bool frame_from_bytes(std::span<const uint8_t> bytes, SpectrumFrame &out);

// dBm as hundredths of a dB, rounded to nearest (half away from zero) on the
// line's two decimals; beyond +-327.67 clamped to +-32767; not finite: null.
int16_t bin_hundredths(double dbm);
