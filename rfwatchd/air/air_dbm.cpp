// ath10k reports carry raw FFT magnitudes plus the report's total power as
// noise + rssi. The bins share that power in proportion to m^2, so a bin's
// level is the total plus its share: 20 log10(m_j) - 10 log10(sum m_k^2).
#include "air/air_engine.h"
#include "capture/fast_log10.h"

namespace
{

// A zero magnitude is below the smallest step, not minus infinity.
constexpr float ZERO_MAGNITUDE = 0.5f;

} // namespace

void air_magnitudes_to_dbm(const SpectralSample &sample, float *dbm_out)
{
    const size_t n = sample.bin_count;
    float energy = 0;
    for (size_t j = 0; j < n; ++j) {
        const float m = sample.bins[j] > 0 ? sample.bins[j] : ZERO_MAGNITUDE;
        dbm_out[j] = m * m;
        energy += m * m;
    }
    // rssi is the driver's signed byte: weak reports have it below zero.
    const auto rssi = static_cast<int8_t>(static_cast<uint8_t>(sample.rssi));
    const float base = static_cast<float>(sample.noise_dbm + rssi) - 10.0f * fast_log10(energy);
    for (size_t j = 0; j < n; ++j)
        dbm_out[j] = base + 10.0f * fast_log10(dbm_out[j]);
}
