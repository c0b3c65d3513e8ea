// SPDX-License-Identifier: MIT
// The export's ath10k level rule against the daemon's own (the air
// engine's), on the same magnitudes: the two must not drift apart.
#include "air/air_engine.h"
#include "export_dbm.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

TEST(ExportDbm, MatchesTheAirEngine)
{
    struct Case {
        const char *what;
        std::vector<int> m; // -1: a null bin (the daemon has none: left out of its sample)
        int16_t noise_dbm;
        uint16_t rssi;
    } cases[] = {
        {"narrow strong peak among zeros", {0, 0, 3, 200, 255, 180, 2, 0, 0, 0, 0, 0}, -96, 40},
        {"flat", std::vector<int>(64, 17), -101, 12},
        {"weak: rssi a negative signed byte", {1, 2, 3, 2, 1, 0, 0, 1}, -95, 0xf6},
        {"all zero", std::vector<int>(16, 0), -93, 0},
        {"null bins take no share", {10, -1, 200, 30, -1, 0}, -98, 25},
    };
    for (const Case &c : cases) {
        SpectrumLine line{};
        line.noise_dbm = c.noise_dbm;
        line.rssi = c.rssi;
        line.n = c.m.size();
        SpectralSample sample{};
        sample.noise_dbm = c.noise_dbm;
        sample.rssi = c.rssi;
        for (size_t j = 0; j < c.m.size(); j++) {
            line.bins[j] = c.m[j] < 0 ? NAN : c.m[j];
            if (c.m[j] >= 0)
                sample.bins[sample.bin_count++] = static_cast<float>(c.m[j]);
        }
        std::vector<float> daemon(sample.bin_count);
        air_magnitudes_to_dbm(sample, daemon.data());
        magnitudes_to_dbm(line);
        size_t k = 0;
        for (size_t j = 0; j < line.n; j++) {
            if (c.m[j] < 0) {
                EXPECT_TRUE(std::isnan(line.bins[j])) << c.what << " bin " << j;
                continue;
            }
            // The daemon's float and fast logarithm: well inside the lines'
            // two decimals.
            EXPECT_NEAR(line.bins[j], daemon[k++], 0.005) << c.what << " bin " << j;
        }
    }
}
