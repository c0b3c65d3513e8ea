// SPDX-License-Identifier: MIT
#include "air/air_segments.h"

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the busy flags are packed as LE words");

namespace
{

constexpr uint64_t ONES = ~uint64_t{0};

// Keeps the strongest: a new run goes in while there is room, else in
// place of the weakest kept when it is stronger.
void keep(AirSegment *out, size_t &count, const AirSegment &run)
{
    if (count < AIR_MAX_SEGMENTS) {
        out[count++] = run;
        return;
    }
    size_t weakest = 0;
    for (size_t i = 1; i < count; ++i)
        if (out[i].peak_dbm < out[weakest].peak_dbm)
            weakest = i;
    if (run.peak_dbm <= out[weakest].peak_dbm)
        return;
    // Shift to keep bin order.
    for (size_t i = weakest; i + 1 < count; ++i)
        out[i] = out[i + 1];
    out[count - 1] = run;
}

bool bit(const uint64_t *bits, size_t j)
{
    return ((bits[j / 64] >> (j % 64)) & 1u) != 0;
}

// The first bin at or after j (and before end) whose bit in words is
// `set`; end when there is none.
size_t next_bit(const uint64_t *words, size_t j, size_t end, bool set)
{
    for (size_t w = j / 64; w * 64 < end; ++w) {
        uint64_t word = set ? words[w] : ~words[w];
        if (w == j / 64)
            word &= ONES << (j % 64);
        if (word) {
            const size_t at = w * 64 + static_cast<size_t>(std::countr_zero(word));
            return at < end ? at : end;
        }
    }
    return end;
}

// Set bits, in plain operations: std::popcount is a library call on
// targets without an instruction for it.
unsigned ones(uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
}

// The first strongest busy bin of the run [first, end): the greatest level
// in lanes that do not wait on each other, then where it is. A bridged
// quiet bin lies below every busy one (when the flags come from a
// threshold), so it is looked at only when it came out on top.
void find_peak(const uint64_t *bits, const float *dbm, size_t first, size_t end, AirSegment &run)
{
    constexpr size_t LANES = 8;
    float lane[LANES];
    for (float &l : lane)
        l = dbm[first];
    size_t j = first;
    for (; j + LANES <= end; j += LANES)
        for (size_t k = 0; k < LANES; ++k)
            lane[k] = dbm[j + k] > lane[k] ? dbm[j + k] : lane[k];
    float top = dbm[first];
    for (; j < end; ++j)
        top = dbm[j] > top ? dbm[j] : top;
    for (float l : lane)
        top = l > top ? l : top;
    run.peak_dbm = dbm[first];
    run.peak_bin = static_cast<uint16_t>(first);
    for (j = first; j < end; ++j)
        if (dbm[j] == top && bit(bits, j)) {
            run.peak_dbm = top;
            run.peak_bin = static_cast<uint16_t>(j);
            return;
        }
    for (j = first + 1; j < end; ++j) // the top was a bridged bin
        if (dbm[j] > run.peak_dbm && bit(bits, j)) {
            run.peak_dbm = dbm[j];
            run.peak_bin = static_cast<uint16_t>(j);
        }
}

} // namespace

void air_pack_busy(const uint8_t *busy, size_t n, uint64_t *bits)
{
    // Eight 0/1 bytes to eight bits with one multiply: byte i lands on bit 56 + i.
    // Each word is built in a register and stored once.
    constexpr uint64_t GATHER = 0x0102040810204080u;
    const size_t whole = n / 64;
    for (size_t w = 0; w < whole; ++w) {
        uint64_t word = 0;
        for (size_t g = 0; g < 8; ++g) {
            uint64_t eight = 0;
            memcpy(&eight, busy + 64 * w + 8 * g, 8);
            word |= ((eight * GATHER) >> 56) << (8 * g);
        }
        bits[w] = word;
    }
    if (n % 64 == 0)
        return;
    uint64_t word = 0;
    for (size_t j = 64 * whole; j < n; ++j)
        word |= uint64_t{busy[j]} << (j % 64);
    bits[whole] = word;
}

unsigned air_count_busy(const uint64_t *bits, size_t first, size_t last)
{
    unsigned count = 0;
    for (size_t w = first / 64; w <= last / 64; ++w) {
        uint64_t word = bits[w];
        if (w == first / 64)
            word &= ONES << (first % 64);
        if (w == last / 64 && last % 64 != 63)
            word &= ~(ONES << (last % 64 + 1));
        count += ones(word);
    }
    return count;
}

size_t air_find_segments_in_bits(const uint64_t *bits, const float *dbm, size_t n, AirSegment *out)
{
    // A quiet bin between two busy ones joins them: bridged = busy | (left & right).
    uint64_t bridged[AIR_BUSY_WORDS];
    const size_t words = (n + 63) / 64;
    for (size_t w = 0; w < words; ++w) {
        const uint64_t left = (bits[w] << 1) | (w > 0 ? bits[w - 1] >> 63 : 0);
        const uint64_t right = (bits[w] >> 1) | (w + 1 < words ? bits[w + 1] << 63 : 0);
        bridged[w] = bits[w] | (left & right);
    }
    size_t count = 0;
    for (size_t first = next_bit(bridged, 0, n, true); first < n;) {
        const size_t end = next_bit(bridged, first, n, false);
        // The run's ends are busy bins.
        AirSegment run{static_cast<uint16_t>(first), static_cast<uint16_t>(end - 1), 0, 0};
        find_peak(bits, dbm, first, end, run);
        keep(out, count, run);
        first = next_bit(bridged, end, n, true);
    }
    return count;
}

size_t air_find_segments(const uint8_t *busy, const float *dbm, size_t n, AirSegment *out)
{
    if (n > MAX_SPECTRAL_BINS)
        n = MAX_SPECTRAL_BINS;
    uint64_t bits[AIR_BUSY_WORDS];
    air_pack_busy(busy, n, bits);
    return air_find_segments_in_bits(bits, dbm, n, out);
}
