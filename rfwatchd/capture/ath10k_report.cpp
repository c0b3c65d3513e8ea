// SPDX-License-Identifier: MIT
// ath10k FFT reports (type 3): raw magnitudes, passed on unscaled.
#include "capture/ath10k_report.h"
#include "capture/report_bytes.h"

namespace
{

constexpr uint8_t TYPE = 3;
constexpr size_t HEAD = 29;
constexpr size_t LENGTH_HEAD = 26;

bool valid_length(size_t length)
{
    return length == LENGTH_HEAD + 64 || length == LENGTH_HEAD + 128 || length == LENGTH_HEAD + 256;
}

} // namespace

SourceError parse_ath10k_report(const uint8_t *data, size_t length, SpectralSample &sample,
                                size_t &consumed)
{
    consumed = 0;
    if (length <= 2)
        return SourceError::NoData;
    size_t report_length = report_be16(data + 1);
    if (length < report_length + 3)
        return SourceError::NoData;

    // No search here: whatever the range starts with is judged as a whole
    // report of the length it claims.
    consumed = report_length + 3;
    if (data[0] != TYPE || report_length + 3 <= 28 || !valid_length(report_length))
        return SourceError::InvalidSample;
    auto noise = static_cast<int16_t>(report_be16(data + 8));
    if (noise == 0)
        return SourceError::InvalidSample;

    size_t bin_count = report_length - LENGTH_HEAD;
    const uint8_t *bytes = data + HEAD;
    for (size_t j = 0; j < bin_count; ++j)
        sample.bins[j] = static_cast<float>(bytes[j]);
    sample.detector = 0;
    sample.bandwidth_mhz = data[3];
    sample.freq_mhz = report_be16(data + 4);
    sample.noise_dbm = noise;
    sample.rssi = data[25];
    sample.timestamp = report_be64(data + 16);
    sample.bin_count = bin_count;
    return SourceError::Success;
}
