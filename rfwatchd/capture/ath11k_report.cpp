// ath11k FFT reports (types 4 and 100): magnitudes scaled by the report's
// exponent and gain factor, turned into dBm.
#include "capture/ath11k_report.h"
#include "capture/fast_log10.h"
#include "capture/report_bytes.h"

#include <algorithm>
#include <bit>
#include <cmath>

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

// Scale factor of every magnitude: the gain decides between a fixed factor
// and one that shrinks as the rssi rises.
float magnitude_factor(uint8_t gain, uint16_t rssi)
{
    float x = 0.5f;
    if (gain > 61) {
        int numerator = 23 - std::max(0, static_cast<int>(rssi) - 5);
        x = static_cast<float>(std::max(0, numerator)) / 10.0f;
    }
    return std::sqrt(std::pow(10.0f, x));
}

// 2^(exponent mod 32) as a signed 32-bit value: exponent 31 wraps to
// -2^31, which makes every magnitude negative (and every bin empty). The
// unsigned shift and the C++20 modular conversion keep that well defined.
float magnitude_scale(uint8_t exponent)
{
    uint32_t k = exponent % 32u;
    return static_cast<float>(static_cast<int32_t>(uint32_t{1} << k));
}

// 20 log10 of the magnitude of one byte; a zero byte is taken as 1 so the
// loops stay free of branches (its bin is set to the empty value after).
inline float level_of(uint8_t byte, float scale)
{
    unsigned nonzero = byte | (byte == 0);
    return 20.0f * fast_log10(static_cast<float>(nonzero) * scale);
}

void decode_bins(const uint8_t *head, size_t bin_count, float *out)
{
    const uint8_t *bytes = head + HEAD;
    uint8_t type = head[0];
    uint8_t gain = head[6];
    uint16_t rssi = report_be16(head + 18);
    float scale = magnitude_factor(gain, rssi) * magnitude_scale(head[5]);
    if (!(scale > 0.0f)) {
        // Exponent 31: every magnitude is zero or negative.
        for (size_t j = 0; j < bin_count; ++j)
            out[j] = EMPTY_BIN_DBM;
        return;
    }

    // With a positive scale a magnitude is positive exactly when its byte
    // is non-zero, so the levels can be kept instead of the magnitudes.
    float level[MAX_SPECTRAL_BINS];
    for (size_t j = 0; j < bin_count; ++j)
        level[j] = level_of(bytes[j], scale);

    float offset;
    if (type == TYPE_DETECTOR0) {
        // Summed in bin order, as the rule has it: a chain of dependent
        // additions that no reordering may shorten without changing E.
        float energy = 0.0f;
        for (size_t j = 0; j < bin_count; ++j) {
            float m = static_cast<float>(bytes[j]) * scale;
            energy += m * m;
        }
        // A zero energy means every magnitude is zero: no bin needs it.
        offset =
            energy > 0.0f ? static_cast<float>(rssi) - 10.0f * fast_log10(energy) + 10.0f : 0.0f;
    } else {
        int base = head[8], subtrahend = head[7];
        offset = static_cast<float>(base - subtrahend - gain + 10);
    }

    // A select by bit mask rather than by condition, which GCC vectorises.
    const uint32_t empty = std::bit_cast<uint32_t>(EMPTY_BIN_DBM);
    for (size_t j = 0; j < bin_count; ++j) {
        uint32_t keep = 0u - static_cast<uint32_t>(bytes[j] != 0);
        uint32_t value = std::bit_cast<uint32_t>(level[j] + offset - 109.0f);
        out[j] = std::bit_cast<float>((value & keep) | (empty & ~keep));
    }
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
