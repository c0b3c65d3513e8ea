// SPDX-License-Identifier: MIT
// The daemon's own form of a spectrum line read straight from the text:
// the fast path of frame_from_line, which spares every companion the
// general JSON parse of each line.
#include "frame.h"

#include <cstdint>

namespace
{

struct Cursor {
    const char *p;
    const char *end;
};

bool take(Cursor &c, std::string_view literal)
{
    if (static_cast<size_t>(c.end - c.p) < literal.size() ||
        std::string_view(c.p, literal.size()) != literal)
        return false;
    c.p += literal.size();
    return true;
}

// Decimal digits up to max; false when there are none or the value passes max.
bool take_unsigned(Cursor &c, uint64_t max, uint64_t &value)
{
    const char *start = c.p;
    value = 0;
    while (c.p < c.end && *c.p >= '0' && *c.p <= '9') {
        const auto digit = static_cast<uint64_t>(*c.p - '0');
        if (value > (max - digit) / 10)
            return false;
        value = value * 10 + digit;
        c.p++;
    }
    return c.p != start;
}

void put_le(uint8_t *at, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; i++)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One member "KEY":N stored little-endian at offset, N at most max.
struct Member {
    std::string_view key; // with its quotes, colon and the comma before
    size_t offset;
    size_t bytes;
    uint64_t max;
};

constexpr Member MEMBERS[] = {
    {"{\"detector\":", 1, 1, 255},
    {",\"freq_mhz\":", 2, 2, 65535},
    {",\"bandwidth_mhz\":", 4, 2, 65535},
};

constexpr Member LATER_MEMBERS[] = {
    {",\"rssi\":", 8, 2, 65535},
    {",\"timestamp\":", 16, 8, UINT64_MAX},
    {",\"num_aggregated\":", 12, 4, UINT32_MAX},
};

bool take_members(Cursor &c, std::span<const Member> members, SpectrumFrame &out)
{
    for (const Member &m : members) {
        uint64_t value = 0;
        if (!take(c, m.key) || !take_unsigned(c, m.max, value))
            return false;
        put_le(&out.bytes[m.offset], value, m.bytes);
    }
    return true;
}

// "-12.34", "0.00" or null as hundredths; a frame holds -327.67 to 327.67.
bool take_bin(Cursor &c, uint16_t &bits)
{
    if (take(c, "null")) {
        bits = static_cast<uint16_t>(FRAME_BIN_NULL);
        return true;
    }
    const bool negative = take(c, "-");
    uint64_t whole = 0;
    if (!take_unsigned(c, 327, whole) || !take(c, "."))
        return false;
    if (c.end - c.p < 2 || c.p[0] < '0' || c.p[0] > '9' || c.p[1] < '0' || c.p[1] > '9')
        return false;
    const auto h = static_cast<int>(whole * 100) + (c.p[0] - '0') * 10 + (c.p[1] - '0');
    c.p += 2;
    if (h > 32767)
        return false;
    bits = static_cast<uint16_t>(negative ? -h : h);
    return true;
}

} // namespace

bool frame_from_canonical_line(std::string_view line, SpectrumFrame &out)
{
    Cursor c{line.data(), line.data() + line.size()};
    out.bytes[0] = FRAME_VERSION;
    uint64_t noise = 0;
    if (!take_members(c, MEMBERS, out) || !take(c, ",\"noise_dbm\":"))
        return false;
    const bool below_zero = take(c, "-");
    if (!take_unsigned(c, below_zero ? 32768 : 32767, noise))
        return false;
    put_le(&out.bytes[6], below_zero ? 0 - noise : noise, 2);
    uint64_t count = 0;
    if (!take_members(c, LATER_MEMBERS, out) || !take(c, ",\"bin_count\":") ||
        !take_unsigned(c, FRAME_MAX_BINS, count) || !take(c, ",\"bins\":["))
        return false;
    size_t n = 0;
    do {
        uint16_t bits = 0;
        if (n == FRAME_MAX_BINS || !take_bin(c, bits))
            return false;
        put_le(&out.bytes[FRAME_HEADER_SIZE + 2 * n], bits, 2);
        n++;
    } while (take(c, ","));
    if (!take(c, "]}") || c.p != c.end || n != count)
        return false;
    put_le(&out.bytes[10], n, 2);
    out.size = FRAME_HEADER_SIZE + 2 * n;
    return true;
}
