// SPDX-License-Identifier: MIT
// ath11k FFT reports (types 4 and 100): magnitudes scaled by the report's
// exponent and gain factor, turned into dBm.
#include "capture/ath11k_report.h"
#include "capture/byte_db.h"
#include "capture/fast_log10.h"
#include "capture/report_bytes.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint8_t TYPE_DETECTOR0 = 4;
constexpr uint8_t TYPE_DETECTOR1 = 100;
constexpr size_t HEAD = 28;
// The length field counts the 25 head bytes after the 3-byte header.
constexpr size_t LENGTH_HEAD = 25;
constexpr float EMPTY_BIN_DBM = -109.0f;

bool valid_bin_count(size_t bins)
{
    // 4 to 512, powers of two only.
    return bins >= 4 && bins <= MAX_SPECTRAL_BINS && (bins & (bins - 1)) == 0;
}

// 20 log10 of the factor every magnitude is scaled by: the factor is
// sqrt(10^x), x one half, or with a gain above 61 a tenth of a number that
// shrinks as the rssi rises, so in decibels it is 10 x.
int factor_db(uint8_t gain, uint16_t rssi)
{
    if (gain <= 61)
        return 5;
    return std::max(0, 23 - std::max(0, static_cast<int>(rssi) - 5));
}

// The magnitude is byte * factor * 2^(exponent mod 32) as a signed 32-bit
// value; at 31 that power wraps to -2^31, which makes every magnitude
// negative or zero and so every bin empty.
constexpr uint32_t WRAPPING_EXPONENT = 31;
constexpr double DB_PER_EXPONENT = 6.0205999132796239; // 20 log10 2

// Four floats, stored at once (GCC's vector extension: SSE or NEON).
using FourBins = float __attribute__((vector_size(16)));

// out[j] = level[bytes[j]]; bin_count is a multiple of 4. The look-ups
// are scalar loads (GCC would vectorise them into emulated gathers, slower
// than plain loads; the empty asm hides the indices from it and emits
// nothing), but each four are stored as one vector: the aggregation reads
// the bins right after with vector loads, which cannot be forwarded from
// four separate 4-byte stores and then wait for them to drain.
void look_up_bins(const uint8_t *bytes, size_t bin_count, const float *level, float *out)
{
    for (size_t j = 0; j < bin_count; j += 4) {
        unsigned b0 = bytes[j], b1 = bytes[j + 1], b2 = bytes[j + 2], b3 = bytes[j + 3];
        asm("" : "+r"(b0), "+r"(b1), "+r"(b2), "+r"(b3));
        FourBins four = {level[b0], level[b1], level[b2], level[b3]};
        memcpy(out + j, &four, sizeof four);
    }
}

// Every bin is 20 log10(byte) plus one offset per report (the factor, the
// exponent and the report's reference all add in decibels), so the bins are
// looked up in a table of the report's 256 possible values.
void decode_bins(const uint8_t *head, size_t bin_count, float *out)
{
    const uint8_t *bytes = head + HEAD;
    uint8_t type = head[0];
    uint8_t gain = head[6];
    uint16_t rssi = report_be16(head + 18);
    uint32_t exponent = head[5] % 32u;
    bool empty = exponent == WRAPPING_EXPONENT;

    // In double, and split in two floats below, so that a bin is rounded at
    // its own size only once: with a large rssi it nears 2^16, where a
    // float step is 0.004 dB.
    double offset;
    if (type == TYPE_DETECTOR0) {
        // Relative to the report's energy, E = scale^2 * sum of byte^2: the
        // scale cancels against each bin's own, and the sum is exact in
        // integers (at most 512 * 255^2), so its order does not matter.
        uint32_t energy = 0;
        for (size_t j = 0; j < bin_count; ++j)
            energy += uint32_t{bytes[j]} * bytes[j];
        // A zero energy means every byte is zero: every bin is empty.
        empty = empty || energy == 0;
        offset = rssi + 10.0 - 10.0 * fast_log10(static_cast<float>(energy | (energy == 0)));
    } else {
        int base = head[8], subtrahend = head[7];
        offset =
            factor_db(gain, rssi) + exponent * DB_PER_EXPONENT + (base - subtrahend - gain + 10);
    }
    offset -= 109.0;

    // The offset as a float and what that float misses: the table's value
    // plus the small part rounds at the table's size (under 50 dB), and
    // only the large part's addition rounds at the bin's.
    auto offset_high = static_cast<float>(offset);
    auto offset_low = static_cast<float>(offset - offset_high);
    float level[256];
    for (size_t b = 0; b < 256; ++b)
        level[b] = empty ? EMPTY_BIN_DBM : (BYTE_DB.db[b] + offset_low) + offset_high;
    level[0] = EMPTY_BIN_DBM;
    look_up_bins(bytes, bin_count, level, out);
}

} // namespace

SourceError parse_ath11k_report(const uint8_t *data, size_t length, SpectralSample &sample,
                                size_t &consumed)
{
    consumed = 0;
    if (length <= 2)
        return SourceError::NoData;

    // The driver pads its relay buffers; anything before a type byte is
    // skipped.
    size_t i = 0;
    while (i < length && data[i] != TYPE_DETECTOR0 && data[i] != TYPE_DETECTOR1)
        ++i;
    if (i == length) {
        consumed = length;
        return SourceError::NoData;
    }

    const uint8_t *head = data + i;
    size_t left = length - i;
    if (left < 3) {
        consumed = i;
        return SourceError::NoData;
    }
    size_t report_length = report_be16(head + 1);
    if (left < report_length + 3) {
        consumed = i;
        return SourceError::NoData;
    }
    consumed = i + report_length + 3;
    if (report_length < LENGTH_HEAD || !valid_bin_count(report_length - LENGTH_HEAD))
        return SourceError::InvalidSample;

    size_t bin_count = report_length - LENGTH_HEAD;
    decode_bins(head, bin_count, sample.bins);
    sample.detector = head[0] == TYPE_DETECTOR0 ? 0 : 1;
    sample.freq_mhz = report_be16(head + 12);
    sample.bandwidth_mhz = head[3];
    sample.noise_dbm = -109;
    sample.rssi = report_be16(head + 18);
    sample.timestamp = report_be32(head + 20);
    sample.bin_count = bin_count;
    return SourceError::Success;
}
