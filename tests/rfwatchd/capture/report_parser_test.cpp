// SPDX-License-Identifier: MIT
// Both FFT report parsers: framing (what is consumed on every path), the
// accepted lengths, the fields, and the ath11k power rule.
#include "capture/ath10k_report.h"
#include "capture/ath11k_report.h"
#include "capture_reference.h"
#include "spectral_report.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using namespace wdtest;

namespace
{

constexpr float UNTOUCHED = 12345.0f;

SpectralSample blank_sample()
{
    SpectralSample s;
    memset(&s, 0, sizeof s);
    for (float &b : s.bins)
        b = UNTOUCHED;
    s.freq_mhz = 7777;
    return s;
}

SourceError parse11(const std::vector<uint8_t> &bytes, SpectralSample &s, size_t &consumed)
{
    return parse_ath11k_report(bytes.data(), bytes.size(), s, consumed);
}

SourceError parse10(const std::vector<uint8_t> &bytes, SpectralSample &s, size_t &consumed)
{
    return parse_ath10k_report(bytes.data(), bytes.size(), s, consumed);
}

Ath11kReport report11(size_t bins, uint8_t fill = 0)
{
    Ath11kReport r;
    r.bins = std::vector<uint8_t>(bins, fill);
    return r;
}

} // namespace

TEST(ReportFraming, RangesOfOneOrTwoBytesAreNoDataWithNothingConsumed)
{
    for (ReportParser parse : {parse_ath11k_report, parse_ath10k_report}) {
        for (std::vector<uint8_t> bytes : {std::vector<uint8_t>{4}, std::vector<uint8_t>{4, 0}}) {
            SpectralSample s = blank_sample();
            size_t consumed = 99;
            EXPECT_EQ(parse(bytes.data(), bytes.size(), s, consumed), SourceError::NoData);
            EXPECT_EQ(consumed, 0u);
            EXPECT_EQ(s.freq_mhz, 7777);
        }
    }
}

TEST(Ath11kFraming, FillerBeforeAReportIsConsumedWithIt)
{
    std::vector<uint8_t> bytes = {0, 0, 0, 7, 0xff, 0};
    Ath11kReport r = report11(16);
    r.freq_mhz = 5180;
    append_report(bytes, r);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
    EXPECT_EQ(consumed, bytes.size());
    EXPECT_EQ(s.freq_mhz, 5180);
}

TEST(Ath11kFraming, RangeWithoutTypeByteIsConsumedWhole)
{
    std::vector<uint8_t> bytes = {0, 1, 2, 3, 5, 99, 101, 255, 0};
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    EXPECT_EQ(parse11(bytes, s, consumed), SourceError::NoData);
    EXPECT_EQ(consumed, bytes.size());
}

TEST(Ath11kFraming, IncompleteReportConsumesOnlyWhatPrecedesIt)
{
    std::vector<uint8_t> whole = {0, 0};
    append_report(whole, report11(64, 1));
    // Cut inside the bins, inside the head, and inside the 3-byte header.
    for (size_t cut : {whole.size() - 1, size_t{2 + 20}, size_t{2 + 2}, size_t{2 + 1}}) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<long>(cut));
        SpectralSample s = blank_sample();
        size_t consumed = 99;
        EXPECT_EQ(parse11(bytes, s, consumed), SourceError::NoData) << cut;
        EXPECT_EQ(consumed, 2u) << cut;
        EXPECT_EQ(s.freq_mhz, 7777);
    }
}

TEST(Ath11kFraming, InvalidLengthConsumesTheReportAndTheNextCallDecodesTheFollowingOne)
{
    std::vector<uint8_t> bytes;
    append_report(bytes, report11(100)); // 100 bins: not a power of two
    size_t first = bytes.size();
    Ath11kReport good = report11(32);
    good.freq_mhz = 2412;
    append_report(bytes, good);

    SpectralSample s = blank_sample();
    size_t consumed = 0;
    EXPECT_EQ(parse11(bytes, s, consumed), SourceError::InvalidSample);
    EXPECT_EQ(consumed, first);
    EXPECT_EQ(s.freq_mhz, 7777);
    ASSERT_EQ(parse_ath11k_report(bytes.data() + consumed, bytes.size() - consumed, s, consumed),
              SourceError::Success);
    EXPECT_EQ(s.freq_mhz, 2412);
    EXPECT_EQ(s.bin_count, 32u);
}

TEST(Ath11kFraming, OnlyPowerOfTwoBinCountsFrom4To512AreAccepted)
{
    for (size_t bins : {4, 8, 16, 32, 64, 128, 256, 512}) {
        auto bytes = encode_report(report11(bins));
        SpectralSample s = blank_sample();
        size_t consumed = 0;
        EXPECT_EQ(parse11(bytes, s, consumed), SourceError::Success) << bins;
        EXPECT_EQ(s.bin_count, bins);
        EXPECT_EQ(consumed, 28 + bins);
    }
    for (size_t bins : {0, 1, 2, 3, 5, 63, 65, 500, 1024}) {
        auto bytes = encode_report(report11(bins));
        SpectralSample s = blank_sample();
        size_t consumed = 0;
        EXPECT_EQ(parse11(bytes, s, consumed), SourceError::InvalidSample) << bins;
        EXPECT_EQ(consumed, 28 + bins);
    }
    // A length below the head itself is judged as a whole report too.
    Ath11kReport tiny = report11(0);
    tiny.length = 10;
    auto bytes = encode_report(tiny);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    EXPECT_EQ(parse11(bytes, s, consumed), SourceError::InvalidSample);
    EXPECT_EQ(consumed, 13u);
}

TEST(Ath11kFields, HeadFieldsAndDetectorFromTheType)
{
    for (uint8_t type : {uint8_t{4}, uint8_t{100}}) {
        Ath11kReport r = report11(8, 3);
        r.type = type;
        r.bandwidth_mhz = 80;
        r.freq_mhz = 5775;
        r.rssi = 0xfffe;
        r.timestamp = 0xfedcba98u;
        auto bytes = encode_report(r);
        SpectralSample s = blank_sample();
        size_t consumed = 0;
        ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
        EXPECT_EQ(s.detector, type == 4 ? 0 : 1);
        EXPECT_EQ(s.freq_mhz, 5775);
        EXPECT_EQ(s.bandwidth_mhz, 80);
        EXPECT_EQ(s.rssi, 0xfffe);
        EXPECT_EQ(s.timestamp, 0xfedcba98u);
        EXPECT_EQ(s.noise_dbm, -109);
        EXPECT_EQ(s.bin_count, 8u);
        EXPECT_EQ(s.bins[8], UNTOUCHED); // nothing written past bin_count
    }
}

TEST(Ath11kPower, ZeroMagnitudesGiveTheEmptyValue)
{
    for (uint8_t type : {uint8_t{4}, uint8_t{100}}) {
        Ath11kReport r = report11(64, 0);
        r.type = type;
        r.rssi = 40;
        auto bytes = encode_report(r);
        SpectralSample s = blank_sample();
        size_t consumed = 0;
        ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
        for (size_t j = 0; j < 64; ++j)
            ASSERT_EQ(s.bins[j], -109.0f) << j;
    }
}

TEST(Ath11kPower, Type4IsRelativeToTheReportEnergy)
{
    // One non-zero bin carries all the energy: it reads rssi - 99.
    Ath11kReport single = report11(64, 0);
    single.rssi = 50;
    single.gain = 70;
    single.max_exp = 3;
    single.bins[17] = 200;
    auto bytes = encode_report(single);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
    EXPECT_NEAR(s.bins[17], 50.0f - 99.0f, 2e-3);
    EXPECT_EQ(s.bins[16], -109.0f);

    // A flat spectrum of N bins reads rssi - 99 - 10 log10(N) everywhere.
    for (size_t n : {4, 64, 512}) {
        Ath11kReport flat = report11(n, 9);
        flat.rssi = 30;
        bytes = encode_report(flat);
        ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
        float expected = 30.0f - 99.0f - 10.0f * std::log10(static_cast<float>(n));
        for (size_t j = 0; j < n; ++j)
            ASSERT_NEAR(s.bins[j], expected, 2e-3) << n << " " << j;
    }
}

TEST(Ath11kPower, Type100UsesTheHeadOffsetsAndTheGainFactor)
{
    // Gain 10 keeps the fixed factor 10^0.25: 20 log10(1.7783) + 100 - 20 - 10 - 99.
    Ath11kReport r = report11(16, 0);
    r.type = 100;
    r.gain = 10;
    r.offset_sub = 20;
    r.offset_base = 100;
    r.bins[0] = 1;
    r.bins[1] = 10;
    auto bytes = encode_report(r);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
    EXPECT_NEAR(s.bins[0], -24.0f, 2e-3);
    EXPECT_NEAR(s.bins[1], -4.0f, 2e-3);

    // Gain 62 with rssi 30: factor 1, so a bin is 20 log10(b * 2^k) + offset.
    r.gain = 62;
    r.rssi = 30;
    r.max_exp = 4;
    r.offset_base = 200;
    r.bins[0] = 5;
    bytes = encode_report(r);
    ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
    EXPECT_NEAR(s.bins[0], 20.0f * std::log10(5.0f * 16.0f) + (200 - 20 - 62 + 10) - 109.0f, 2e-3);

    // Gain 62 with rssi 5: factor sqrt(10^2.3).
    r.rssi = 5;
    r.max_exp = 0;
    r.bins[0] = 1;
    bytes = encode_report(r);
    ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
    EXPECT_NEAR(s.bins[0], 23.0f + (200 - 20 - 62 + 10) - 109.0f, 2e-3);
}

TEST(Ath11kPower, ExponentIsTakenModulo32And31MakesEveryMagnitudeNegative)
{
    Ath11kReport r = report11(8, 0);
    r.type = 100;
    r.offset_base = 50;
    r.bins = {1, 2, 3, 4, 5, 6, 7, 0};
    SpectralSample low = blank_sample(), high = blank_sample();
    size_t consumed = 0;
    r.max_exp = 2;
    auto bytes = encode_report(r);
    ASSERT_EQ(parse11(bytes, low, consumed), SourceError::Success);
    r.max_exp = 34;
    bytes = encode_report(r);
    ASSERT_EQ(parse11(bytes, high, consumed), SourceError::Success);
    for (size_t j = 0; j < 8; ++j)
        EXPECT_EQ(low.bins[j], high.bins[j]) << j;

    for (uint8_t exponent : {uint8_t{31}, uint8_t{63}, uint8_t{255}}) {
        r.max_exp = exponent;
        bytes = encode_report(r);
        ASSERT_EQ(parse11(bytes, high, consumed), SourceError::Success);
        for (size_t j = 0; j < 8; ++j)
            EXPECT_EQ(high.bins[j], -109.0f) << int{exponent} << " " << j;
    }
}

// Every magnitude a report can produce (all bytes, every gain factor, every
// exponent) decodes to within 20 * 1e-4 of the libm-based rule.
TEST(Ath11kPower, MatchesTheLog10fRuleOverTheWholeMagnitudeRange)
{
    std::vector<uint8_t> all(256);
    for (size_t b = 0; b < 256; ++b)
        all[b] = static_cast<uint8_t>(b);
    float worst = 0.0f;
    size_t checked = 0;
    SpectralSample s = blank_sample();
    float expected[MAX_SPECTRAL_BINS];
    for (uint8_t type : {uint8_t{100}, uint8_t{4}}) {
        for (int rssi = -1; rssi <= 28; ++rssi) {
            for (uint8_t exponent = 0; exponent < 31; ++exponent) {
                Ath11kReport r;
                r.type = type;
                r.gain = rssi < 0 ? 61 : 62; // -1 stands for the fixed factor
                r.rssi = static_cast<uint16_t>(rssi < 0 ? 200 : rssi);
                r.max_exp = exponent;
                r.offset_sub = 17;
                r.offset_base = 230;
                r.bins = all;
                auto bytes = encode_report(r);
                size_t consumed = 0;
                ASSERT_EQ(parse11(bytes, s, consumed), SourceError::Success);
                reference_ath11k_bins(bytes.data(), 256, expected);
                for (size_t j = 0; j < 256; ++j) {
                    // Allow for the float spacing of the value itself too.
                    float magnitude = std::fabs(expected[j]);
                    float ulp = std::nextafter(magnitude, INFINITY) - magnitude;
                    float tolerance = 2e-3f + 4.0f * ulp;
                    float error = std::fabs(s.bins[j] - expected[j]);
                    worst = std::max(worst, error);
                    ASSERT_LE(error, tolerance)
                        << "type " << int{type} << " rssi " << rssi << " exp " << int{exponent}
                        << " byte " << j << ": " << s.bins[j] << " vs " << expected[j];
                    ++checked;
                }
            }
        }
    }
    EXPECT_EQ(checked, 2u * 30u * 31u * 256u);
    RecordProperty("worst_error_db", std::to_string(worst));
}

TEST(Ath10kFraming, AcceptsOnly64To256BinsOfType3WithNonZeroNoise)
{
    for (size_t bins : {64, 128, 256}) {
        Ath10kReport r;
        r.bins = std::vector<uint8_t>(bins, 1);
        auto bytes = encode_report(r);
        SpectralSample s = blank_sample();
        size_t consumed = 0;
        EXPECT_EQ(parse10(bytes, s, consumed), SourceError::Success) << bins;
        EXPECT_EQ(consumed, 29 + bins);
        EXPECT_EQ(s.bin_count, bins);
    }
    auto rejects = [](const Ath10kReport &r, const char *what) {
        auto bytes = encode_report(r);
        SpectralSample s = blank_sample();
        size_t consumed = 0;
        EXPECT_EQ(parse10(bytes, s, consumed), SourceError::InvalidSample) << what;
        EXPECT_EQ(consumed, bytes.size()) << what;
        EXPECT_EQ(s.freq_mhz, 7777) << what;
    };
    Ath10kReport r;
    r.bins = std::vector<uint8_t>(512, 1);
    rejects(r, "512 bins");
    r.bins = std::vector<uint8_t>(32, 1);
    rejects(r, "32 bins");
    r.bins = std::vector<uint8_t>(64, 1);
    r.noise_dbm = 0;
    rejects(r, "noise 0");
    r.noise_dbm = -90;
    r.type = 4;
    rejects(r, "type 4");

    // A length field of 0 is still a whole report: its 3 header bytes.
    r.type = 3;
    r.length = 0;
    auto bytes = encode_report(r);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    EXPECT_EQ(parse10(bytes, s, consumed), SourceError::InvalidSample);
    EXPECT_EQ(consumed, 3u);
}

TEST(Ath10kFraming, DoesNotSearchAndNeedsTheWholeReport)
{
    Ath10kReport r;
    std::vector<uint8_t> bytes = {0};
    append_report(bytes, r);
    bytes.resize(1000, 0);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    // After one leading byte, the type 3 and the length's high byte 0 read
    // as a length of 0x0300.
    EXPECT_EQ(parse10(bytes, s, consumed), SourceError::InvalidSample);
    EXPECT_EQ(consumed, 0x300u + 3u);

    bytes = encode_report(r);
    bytes.pop_back();
    consumed = 99;
    EXPECT_EQ(parse10(bytes, s, consumed), SourceError::NoData);
    EXPECT_EQ(consumed, 0u);
}

TEST(Ath10kFields, RawMagnitudesAndSignExtendedNoise)
{
    Ath10kReport r;
    r.bandwidth_mhz = 40;
    r.freq_mhz = 5500;
    r.noise_dbm = -2;
    r.rssi = 0xc8;
    r.timestamp = 0x0102030405060708ull;
    r.bins = std::vector<uint8_t>(128);
    for (size_t j = 0; j < 128; ++j)
        r.bins[j] = static_cast<uint8_t>(j * 2 + 1);
    r.bins[127] = 255;
    auto bytes = encode_report(r);
    SpectralSample s = blank_sample();
    size_t consumed = 0;
    ASSERT_EQ(parse10(bytes, s, consumed), SourceError::Success);
    EXPECT_EQ(s.detector, 0);
    EXPECT_EQ(s.bandwidth_mhz, 40);
    EXPECT_EQ(s.freq_mhz, 5500);
    EXPECT_EQ(s.noise_dbm, -2);
    EXPECT_EQ(s.rssi, 0xc8);
    EXPECT_EQ(s.timestamp, 0x0102030405060708ull);
    EXPECT_EQ(s.bins[0], 1.0f);
    EXPECT_EQ(s.bins[126], 253.0f);
    EXPECT_EQ(s.bins[127], 255.0f);
    EXPECT_EQ(s.bins[128], UNTOUCHED);
}
