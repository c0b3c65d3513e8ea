// SPDX-License-Identifier: MIT
// One simulated spectrum as both drivers report it: ath10k's magnitudes
// through the engine's level rule must give what ath11k's decoder gives
// (and the spectrum itself) wherever the bins are within reach of the peak.
#include "air/air_engine.h"
#include "capture/ath10k_report.h"
#include "capture/ath11k_report.h"
#include "report_gen.h"
#include "spectral_report.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

TEST(AirDbm, Ath10kRuleMatchesAth11kLevels)
{
    struct Case {
        const char *what;
        size_t bins;
        double floor_dbm, signal_dbm, from, to; // the signal's share of the band
    } cases[] = {
        {"narrow", 64, -95, -60, 0.45, 0.5},
        {"strong", 128, -95, -30, 0.3, 0.5},
        {"wide", 256, -95, -60, 0.2, 0.8},
        {"weak: total power below the noise field", 64, -120, -110, 0.4, 0.6},
        {"no signal", 256, -92, -92, 0, 0},
    };
    for (const Case &c : cases) {
        std::vector<double> spectrum(c.bins);
        for (size_t j = 0; j < c.bins; ++j) {
            const double x = (static_cast<double>(j) + 0.5) / static_cast<double>(c.bins);
            spectrum[j] = (x >= c.from && x < c.to ? c.signal_dbm : c.floor_dbm) + 0.7 * std::sin(j);
        }
        const fakeath::Magnitudes m = fakeath::to_magnitudes(spectrum.data(), c.bins);
        std::vector<uint8_t> bytes11, bytes10;
        fakeath::append_generated_report(bytes11, fakeath::ReportParams{}, m);
        // As the driver reports it: rssi is the total power of the quantised
        // bins less the noise field, a signed byte.
        double energy = 0;
        for (uint8_t b : m.bins)
            energy += static_cast<double>(b) * b;
        wdtest::Ath10kReport r10;
        r10.rssi = static_cast<uint8_t>(static_cast<int8_t>(
            std::lround(m.peak_dbm + 10 * std::log10(energy / (255.0 * 255.0)) - r10.noise_dbm)));
        r10.bins = m.bins;
        wdtest::append_report(bytes10, r10);
        SpectralSample s11{}, s10{};
        size_t used = 0;
        ASSERT_EQ(parse_ath11k_report(bytes11.data(), bytes11.size(), s11, used), SourceError::Success);
        ASSERT_EQ(parse_ath10k_report(bytes10.data(), bytes10.size(), s10, used), SourceError::Success);
        std::vector<float> dbm(c.bins);
        air_magnitudes_to_dbm(s10, dbm.data());
        size_t compared = 0;
        for (size_t j = 0; j < c.bins; ++j) {
            // Too weak to register beside the peak: no louder than the noise
            // (else a strong narrow signal makes the whole band busy).
            if (m.bins[j] == 0) {
                EXPECT_LE(dbm[j], r10.noise_dbm) << c.what << " bin " << j;
            }
            if (s11.bins[j] < m.peak_dbm - 40)
                continue;
            compared++;
            EXPECT_NEAR(dbm[j], s11.bins[j], 1.0) << c.what << " bin " << j;
            if (spectrum[j] >= m.peak_dbm - 20) {
                EXPECT_NEAR(dbm[j], spectrum[j], 1.0) << c.what << " bin " << j;
            }
        }
        EXPECT_GT(compared, c.bins / 8) << c.what;
    }
}
