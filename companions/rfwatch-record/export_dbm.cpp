// SPDX-License-Identifier: MIT
// The report's total power is noise + rssi; the bins share it in proportion
// to m^2, so a bin's level is that total plus 20 log10(m_j) - 10 log10(sum
// m_k^2).
#include "export_dbm.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

void magnitudes_to_dbm(SpectrumLine &line)
{
    // A zero magnitude is below the byte's reach, not silence: it counts as
    // half the smallest step, so its share of the power stays finite.
    constexpr double zero_magnitude = 0.5;
    double energy = 0;
    size_t finite = 0;
    for (size_t j = 0; j < line.n; ++j) {
        const double m = line.bins[j];
        if (!std::isfinite(m))
            continue;
        finite++;
        energy += m > 0 ? m * m : zero_magnitude * zero_magnitude;
    }
    if (finite == 0)
        return;
    // rssi is the driver's signed byte: weak reports have it below zero.
    const auto rssi = static_cast<int8_t>(static_cast<uint8_t>(line.rssi));
    const double base = line.noise_dbm + rssi - 10.0 * std::log10(energy);
    // Beside a strong signal half a step would still stand above the noise
    // and make every quiet bin look busy: a zero is no louder than the noise.
    const double zero =
        std::min(base + 20.0 * std::log10(zero_magnitude), static_cast<double>(line.noise_dbm));
    for (size_t j = 0; j < line.n; ++j) {
        const double m = line.bins[j];
        if (std::isfinite(m))
            line.bins[j] = m > 0 ? base + 20.0 * std::log10(m) : zero;
    }
}
