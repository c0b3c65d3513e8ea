// SPDX-License-Identifier: MIT
// The ath11k decoder against the power rule worked out in double precision
// with the energy summed in bin order: random reports of both types at every
// exponent byte and every gain case, every bin within 0.005 dB.
#include "capture/ath11k_report.h"
#include "capture_reference.h"
#include "spectral_report.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace wdtest;

namespace
{

constexpr double TOLERANCE_DB = 0.005;

// -1 is the fixed factor (a gain of 61 or less); 0 to 28 are rssi values,
// which with a gain above 61 give every factor from 10^2.3 down to 10^0;
// 29 stands for any larger rssi, which keeps the smallest factor.
constexpr int FIXED_FACTOR = -1;
constexpr int LARGE_RSSI = 29;

// How a report's bytes are drawn: the whole range, mostly zeros, only the
// smallest magnitudes (where a logarithm's error is largest relative to the
// value), a single peak, and all zeros.
enum class Fill { Uniform, Sparse, Small, OnePeak, Zero, Count };

std::vector<uint8_t> random_bins(std::mt19937 &rng, Fill fill, size_t count)
{
    std::vector<uint8_t> bins(count, 0);
    std::uniform_int_distribution<int> byte(0, 255), small(0, 3), percent(0, 99);
    for (uint8_t &b : bins) {
        switch (fill) {
        case Fill::Uniform:
            b = static_cast<uint8_t>(byte(rng));
            break;
        case Fill::Sparse:
            b = static_cast<uint8_t>(percent(rng) < 5 ? byte(rng) : 0);
            break;
        case Fill::Small:
            b = static_cast<uint8_t>(small(rng));
            break;
        default:
            break;
        }
    }
    if (fill == Fill::OnePeak)
        bins[rng() % count] = static_cast<uint8_t>(1 + rng() % 255);
    return bins;
}

Ath11kReport random_report(std::mt19937 &rng, uint8_t type, uint8_t exponent, int gain_case,
                           Fill fill)
{
    Ath11kReport r;
    r.type = type;
    r.max_exp = exponent;
    if (gain_case == FIXED_FACTOR) {
        r.gain = static_cast<uint8_t>(rng() % 62);
        r.rssi = static_cast<uint16_t>(rng());
    } else {
        r.gain = static_cast<uint8_t>(62 + rng() % 194);
        r.rssi =
            static_cast<uint16_t>(gain_case < LARGE_RSSI ? gain_case : LARGE_RSSI + rng() % 65507);
    }
    r.offset_base = static_cast<uint8_t>(rng());
    r.offset_sub = static_cast<uint8_t>(rng());
    // Mostly full-size reports, a quarter of them a smaller power of two.
    size_t count = rng() % 4 == 0 ? size_t{4} << (rng() % 7) : MAX_SPECTRAL_BINS;
    r.bins = random_bins(rng, fill, count);
    return r;
}

std::string describe(const Ath11kReport &r, size_t bin)
{
    return "type " + std::to_string(r.type) + " exp " + std::to_string(r.max_exp) + " gain " +
           std::to_string(r.gain) + " rssi " + std::to_string(r.rssi) + " bin " +
           std::to_string(bin) + " byte " + std::to_string(r.bins[bin]);
}

struct Worst {
    double error = 0.0;
    std::string where;
};

// Decodes one report and checks every bin; false after the first failure.
bool check_report(const Ath11kReport &r, Worst &worst, size_t &checked)
{
    auto bytes = encode_report(r);
    SpectralSample s{};
    size_t consumed = 0;
    EXPECT_EQ(parse_ath11k_report(bytes.data(), bytes.size(), s, consumed), SourceError::Success);
    EXPECT_EQ(s.bin_count, r.bins.size());
    if (s.bin_count != r.bins.size())
        return false;
    double expected[MAX_SPECTRAL_BINS];
    reference_ath11k_bins_double(bytes.data(), r.bins.size(), expected);
    for (size_t j = 0; j < r.bins.size(); ++j) {
        // An empty bin (a zero byte, or exponent 31's negative scale) reads
        // exactly the empty value: clients compare it. (The value alone
        // cannot tell: a bin can come to -109 dBm too.)
        bool empty = r.bins[j] == 0 || r.max_exp % 32 == 31;
        bool empty_ok = !empty || s.bins[j] == -109.0f;
        double error = std::fabs(s.bins[j] - expected[j]);
        if (!empty_ok || !(error <= TOLERANCE_DB)) {
            ADD_FAILURE() << describe(r, j) << ": " << s.bins[j] << " vs " << expected[j];
            return false;
        }
        if (error > worst.error)
            worst = {error, describe(r, j)};
        ++checked;
    }
    return true;
}

} // namespace

TEST(Ath11kAccuracy, EveryBinWithinFiveThousandthsOfADecibelOfTheDoubleRule)
{
    std::mt19937 rng(15);
    Worst worst;
    size_t checked = 0, reports = 0;
    for (uint8_t type : {uint8_t{4}, uint8_t{100}}) {
        for (int exponent = 0; exponent < 256; ++exponent) {
            for (int gain_case = FIXED_FACTOR; gain_case <= LARGE_RSSI; ++gain_case) {
                // The fills take turns, so each exponent and gain case meets
                // several of them across the two types.
                auto fill = static_cast<Fill>((reports + static_cast<size_t>(exponent)) %
                                              static_cast<size_t>(Fill::Count));
                Ath11kReport r =
                    random_report(rng, type, static_cast<uint8_t>(exponent), gain_case, fill);
                ++reports;
                ASSERT_TRUE(check_report(r, worst, checked));
            }
        }
    }
    EXPECT_EQ(reports, 2u * 256u * 31u);
    EXPECT_GT(checked, reports * 256u); // most reports are full-size
    RecordProperty("worst_error_db", std::to_string(worst.error));
    RecordProperty("worst_case", worst.where);
    printf("worst error %.6f dB at %s\n", worst.error, worst.where.c_str());
}
