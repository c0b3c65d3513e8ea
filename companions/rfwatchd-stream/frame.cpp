// SPDX-License-Identifier: MIT
#include "frame.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace
{

void put_le(uint8_t *at, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t get_le(const uint8_t *at, size_t bytes)
{
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; i++)
        value |= static_cast<uint64_t>(at[i]) << (8 * i);
    return value;
}

// Appends a number as cJSON prints the daemon's whole numbers: plain decimal.
void append_number(std::string &out, int64_t value)
{
    char text[24];
    char *end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

void append_u64(std::string &out, uint64_t value)
{
    char text[24];
    char *end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

// "%.2f" of a value that was h hundredths, from the integer: a double
// would need the same rounding the daemon's float went through.
void append_hundredths(std::string &out, int16_t h)
{
    if (h == FRAME_BIN_NULL) {
        out += "null";
        return;
    }
    int magnitude = h < 0 ? -h : h;
    char text[12];
    char *p = text;
    if (h < 0)
        *p++ = '-';
    p = std::to_chars(p, text + sizeof text, magnitude / 100).ptr;
    *p++ = '.';
    *p++ = static_cast<char>('0' + magnitude % 100 / 10);
    *p++ = static_cast<char>('0' + magnitude % 10);
    out.append(text, p);
}

} // namespace

int16_t bin_hundredths(double dbm)
{
    if (!std::isfinite(dbm))
        return FRAME_BIN_NULL;
    // The line's two-decimal text parses to the nearest double, whose product
    // with 100 lies within a few ulps of the whole number (-95.12 * 100 is
    // -9511.999...): rounding to nearest recovers it exactly, where a cast
    // would truncate. std::round takes halves away from zero.
    double h = std::round(dbm * 100.0);
    if (h > 32767.0)
        return 32767;
    if (h < -32767.0)
        return -32767; // -32768 means null
    return static_cast<int16_t>(h);
}

void frame_from_spectrum(const SpectrumLine &line, SpectrumFrame &out)
{
    out.bytes[0] = FRAME_VERSION;
    out.bytes[1] = line.detector;
    put_le(&out.bytes[2], line.freq_mhz, 2);
    put_le(&out.bytes[4], line.bandwidth_mhz, 2);
    put_le(&out.bytes[6], static_cast<uint16_t>(line.noise_dbm), 2);
    put_le(&out.bytes[8], line.rssi, 2);
    put_le(&out.bytes[10], line.n, 2);
    put_le(&out.bytes[12], line.num_aggregated, 4);
    put_le(&out.bytes[16], line.timestamp, 8);
    for (size_t i = 0; i < line.n; i++)
        put_le(&out.bytes[FRAME_HEADER_SIZE + 2 * i],
               static_cast<uint16_t>(bin_hundredths(line.bins[i])), 2);
    out.size = FRAME_HEADER_SIZE + 2 * line.n;
}

bool frame_from_line(std::string_view line, SpectrumFrame &out)
{
    if (frame_from_canonical_line(line, out))
        return true;
    SpectrumLine parsed; // 4 KiB
    if (!parse_spectrum_line(line, parsed))
        return false;
    frame_from_spectrum(parsed, out);
    return true;
}

bool frame_from_bytes(std::span<const uint8_t> bytes, SpectrumFrame &out)
{
    if (bytes.size() < FRAME_HEADER_SIZE || bytes[0] != FRAME_VERSION)
        return false;
    const size_t n = bytes[10] | static_cast<size_t>(bytes[11]) << 8;
    if (n == 0 || n > FRAME_MAX_BINS || bytes.size() != FRAME_HEADER_SIZE + 2 * n)
        return false;
    std::copy(bytes.begin(), bytes.end(), out.bytes.begin());
    out.size = bytes.size();
    return true;
}

void spectrum_line_text(const SpectrumFrame &frame, std::string &out)
{
    const uint8_t *b = frame.bytes.data();
    const size_t n = get_le(b + 10, 2);
    out.clear();
    out += "{\"detector\":";
    append_number(out, b[1]);
    out += ",\"freq_mhz\":";
    append_number(out, static_cast<int64_t>(get_le(b + 2, 2)));
    out += ",\"bandwidth_mhz\":";
    append_number(out, static_cast<int64_t>(get_le(b + 4, 2)));
    out += ",\"noise_dbm\":";
    append_number(out, static_cast<int16_t>(get_le(b + 6, 2)));
    out += ",\"rssi\":";
    append_number(out, static_cast<int64_t>(get_le(b + 8, 2)));
    out += ",\"timestamp\":";
    append_u64(out, get_le(b + 16, 8));
    out += ",\"num_aggregated\":";
    append_number(out, static_cast<int64_t>(get_le(b + 12, 4)));
    out += ",\"bin_count\":";
    append_number(out, static_cast<int64_t>(n));
    out += ",\"bins\":[";
    for (size_t i = 0; i < n && i < FRAME_MAX_BINS; i++) {
        if (i != 0)
            out += ',';
        append_hundredths(out, static_cast<int16_t>(get_le(b + FRAME_HEADER_SIZE + 2 * i, 2)));
    }
    out += "]}";
}
