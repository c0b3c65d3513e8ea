// SPDX-License-Identifier: MIT
// ath10k reports carry raw FFT magnitudes plus the report's total power as
// noise + rssi. The bins share that power in proportion to m^2, so a bin's
// level is the total plus its share: 20 log10(m_j) - 10 log10(sum m_k^2).
#include "air/air_engine.h"
#include "capture/fast_log10.h"

#include <algorithm>

namespace
{

// 20 log10(m) for every magnitude byte; a zero is taken as half the
// smallest step (0.5), not minus infinity. Filled on first use: the
// engine runs on the daemon's one thread.
float magnitude_db[256];
bool magnitude_db_ready;

void fill_magnitude_db()
{
    magnitude_db[0] = 20.0f * fast_log10(0.5f);
    for (int m = 1; m < 256; ++m)
        magnitude_db[m] = 20.0f * fast_log10(static_cast<float>(m));
    magnitude_db_ready = true;
}

} // namespace

void air_magnitudes_to_dbm(const SpectralSample &sample, float *dbm_out)
{
    if (!magnitude_db_ready)
        fill_magnitude_db();
    const size_t n = sample.bin_count;
    const float *bins = sample.bins; // whole magnitudes 0..255
    // As signed whole numbers, which converts a vector at a time.
    int32_t m[MAX_SPECTRAL_BINS];
    for (size_t j = 0; j < n; ++j)
        m[j] = static_cast<int32_t>(bins[j]) & 0xff;
    // In quarter units of m^2, so that a zero's 0.5^2 stays whole.
    uint32_t energy4 = 0;
    for (size_t j = 0; j < n; ++j)
        energy4 += m[j] ? static_cast<uint32_t>(4 * m[j] * m[j]) : 1u;
    // rssi is the driver's signed byte: weak reports have it below zero.
    const auto rssi = static_cast<int8_t>(static_cast<uint8_t>(sample.rssi));
    const float base = static_cast<float>(sample.noise_dbm + rssi) -
                       10.0f * fast_log10(static_cast<float>(energy4) * 0.25f);
    // A zero is below the byte's reach, 48 dB under the peak: beside a
    // strong signal half a step would still stand above the noise and make
    // every quiet bin busy, so it is taken no louder than the noise field.
    const float zero = std::min(base + magnitude_db[0], static_cast<float>(sample.noise_dbm));
    for (size_t j = 0; j < n; ++j)
        dbm_out[j] = m[j] != 0 ? base + magnitude_db[m[j]] : zero;
}
