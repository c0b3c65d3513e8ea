// SPDX-License-Identifier: MIT
// The generated reports must decode, by the drivers' rules, back to the
// spectrum the signal model asked for; otherwise every viewer and daemon
// test built on the simulator would be looking at the wrong levels.
#include "options.h"
#include "report_gen.h"
#include "signal_model.h"
#include "spectral_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace fakeath;

namespace
{

unsigned be(const std::vector<uint8_t> &b, size_t at, int n)
{
    unsigned v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | b[at + static_cast<size_t>(i)];
    return v;
}

// The ath11k power rule, in double precision, for gain <= 61 and exponent 0.
std::vector<double> decode_ath11k(const std::vector<uint8_t> &r)
{
    size_t bins = be(r, 1, 2) - 25;
    double f = std::pow(10.0, 0.25);
    double rssi = be(r, 18, 2);
    double energy = 0;
    for (size_t j = 0; j < bins; ++j)
        energy += std::pow(r[28 + j] * f, 2);
    double offset =
        r[0] == 4 ? rssi - 10 * std::log10(energy) + 10 : double(r[8]) - r[7] - r[6] + 10;
    std::vector<double> out(bins);
    for (size_t j = 0; j < bins; ++j) {
        double m = r[28 + j] * f;
        out[j] = m <= 0 ? -109 : 20 * std::log10(m) + offset - 109;
    }
    return out;
}

std::vector<double> flat_with_tone(size_t bins, size_t at, double floor, double tone)
{
    std::vector<double> s(bins, floor);
    s[at] = tone;
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

TEST(FakeathReports, Ath11kTypesDecodeBackToTheModelLevels)
{
    for (uint8_t type : {uint8_t{4}, uint8_t{100}}) {
        for (size_t bins : {size_t{64}, size_t{256}}) {
            SCOPED_TRACE(testing::Message() << "type " << int(type) << ", " << bins << " bins");
            auto spectrum = flat_with_tone(bins, 10, -95, -55);
            ReportParams p;
            p.type = type;
            p.freq_mhz = 5210;
            p.width_mhz = 80;
            p.timestamp = 0x12345678;
            std::vector<uint8_t> r;
            append_generated_report(r, p, spectrum.data(), bins);
            ASSERT_EQ(r.size(), wdtest::ATH11K_HEAD + bins);
            EXPECT_EQ(r[0], type);
            EXPECT_EQ(be(r, 1, 2), 25 + bins);
            EXPECT_EQ(r[3], 80);
            EXPECT_EQ(be(r, 12, 2), 5210u);
            EXPECT_EQ(be(r, 20, 4), 0x12345678u);
            auto dbm = decode_ath11k(r);
            // Quantising the floor 40 dB below the peak to a byte costs a
            // few dB; the peak itself comes back within a dB.
            EXPECT_NEAR(dbm[10], -55, 1.0);
            dbm.erase(dbm.begin() + 10);
            EXPECT_NEAR(median(dbm), -95, 3.0);
        }
    }
}

TEST(FakeathReports, Ath10kCarriesRawMagnitudesAndTheNoiseFloor)
{
    auto spectrum = flat_with_tone(128, 3, -95, -60);
    ReportParams p;
    p.type = 3;
    p.freq_mhz = 2437;
    p.noise_floor_dbm = -92;
    p.timestamp = 0x0102030405060708ull;
    std::vector<uint8_t> r;
    append_generated_report(r, p, spectrum.data(), 128);
    ASSERT_EQ(r.size(), wdtest::ATH10K_HEAD + 128);
    EXPECT_EQ(be(r, 1, 2), 26u + 128u);
    EXPECT_EQ(be(r, 4, 2), 2437u);
    EXPECT_EQ(static_cast<int16_t>(be(r, 8, 2)), -92);
    EXPECT_EQ(be(r, 16, 4), 0x01020304u);
    EXPECT_EQ(r[29 + 3], 255); // the peak
    // 35 dB below the peak is an amplitude ratio of about 1/56.
    EXPECT_NEAR(r[29 + 0], 255 / 56.2, 1.0);
}

TEST(FakeathReports, Ath10kRssiIsTheWindowsTotalPowerAboveTheNoise)
{
    // Decoding by the driver's rule (the bins share noise + rssi in
    // proportion to m²) gives back the peak's level, whatever the noise.
    struct {
        double floor, tone;
        int noise, rssi;
    } cases[] = {
        {-95, -60, -92, 32}, {-80, -60, -92, 36}, {-95, -60, -40, -20}, {-40, -10, -140, 127}};
    for (auto &c : cases) {
        auto spectrum = flat_with_tone(128, 3, c.floor, c.tone);
        ReportParams p;
        p.type = 3;
        p.noise_floor_dbm = c.noise;
        std::vector<uint8_t> r;
        append_generated_report(r, p, spectrum.data(), 128);
        auto rssi = static_cast<int8_t>(r[25]);
        EXPECT_EQ(rssi, c.rssi) << c.floor << " " << c.noise;
        double energy = 0;
        for (size_t j = 0; j < 128; ++j)
            energy += double(r[29 + j]) * r[29 + j];
        double peak = c.noise + rssi + 20 * std::log10(255.0) - 10 * std::log10(energy);
        if (c.rssi < 127) { // unclamped: the level comes back
            EXPECT_NEAR(peak, c.tone, 0.6);
        }
    }
}

TEST(FakeathReports, InvalidReportsStayWholeSoTheStreamResynchronises)
{
    double s[64];
    std::fill(std::begin(s), std::end(s), -90.0);
    ReportParams p;
    p.invalid = true;
    std::vector<uint8_t> r;
    append_generated_report(r, p, s, 64);
    EXPECT_EQ(be(r, 1, 2), 125u); // 100 bins: not an accepted count
    EXPECT_EQ(r.size(), be(r, 1, 2) + 3);
    p.type = 3;
    r.clear();
    append_generated_report(r, p, s, 64);
    EXPECT_EQ(be(r, 8, 2), 0u);
    EXPECT_EQ(r.size(), be(r, 1, 2) + 3);
}

TEST(FakeathSignal, TonesLandInTheirBinAbsoluteOrRelative)
{
    SignalModel m;
    m.jitter_db = 0;
    Tone abs, rel;
    ASSERT_EQ(tone_parse(abs, "2442.1:-50"), 0);
    ASSERT_EQ(tone_parse(rel, "c-5:-70:0.5"), 0);
    EXPECT_FALSE(abs.relative);
    EXPECT_TRUE(rel.relative);
    EXPECT_DOUBLE_EQ(rel.freq_mhz, -5);
    EXPECT_DOUBLE_EQ(rel.width_mhz, 0.5);
    model_add_tone(m, abs);
    model_add_tone(m, rel);
    double out[64];
    // 20 MHz around 2437: bins of 0.3125 MHz from 2427.
    model_spectrum(m, 2437, 20, 64, out);
    size_t peak = static_cast<size_t>(std::max_element(out, out + 64) - out);
    EXPECT_EQ(peak, 48u); // (2442.1 - 2427) / 0.3125
    EXPECT_NEAR(out[48], -50, 0.1);
    EXPECT_NEAR(out[16], -70, 0.5); // 2432 MHz
    EXPECT_NEAR(out[0], -95, 0.1);
    // Retuned away, the absolute tone is gone; the relative one follows.
    model_spectrum(m, 2412, 20, 64, out);
    EXPECT_LT(*std::max_element(out, out + 64), -69);
    EXPECT_NEAR(out[16], -70, 0.5);
}

TEST(FakeathSignal, AToneAddedLaterAndTheJitterShowUp)
{
    SignalModel m; // jitter 1.5 dB around -95
    double out[128];
    model_spectrum(m, 5180, 40, 128, out);
    EXPECT_LT(*std::max_element(out, out + 128), -93.4);
    EXPECT_GT(*std::min_element(out, out + 128), -96.6);
    EXPECT_GT(*std::max_element(out, out + 128) - *std::min_element(out, out + 128), 2.0);
    Tone t;
    ASSERT_EQ(tone_parse(t, "5190.1:-40"), 0);
    model_add_tone(m, t);
    model_spectrum(m, 5180, 40, 128, out);
    EXPECT_EQ(std::max_element(out, out + 128) - out, 96); // (5190.1 - 5160) / 0.3125
    EXPECT_NEAR(*std::max_element(out, out + 128), -40, 0.1);
}

TEST(FakeathSignal, MalformedTonesAreRejected)
{
    Tone t;
    for (const char *bad : {"", "2442", "2442:", "x:-50", "2442:-50:0", "2442:-50:1:2", "c+:-50"})
        EXPECT_EQ(tone_parse(t, bad), -1) << bad;
    SignalModel m;
    for (size_t i = 0; i < MAX_TONES; ++i)
        EXPECT_EQ(model_add_tone(m, t), 0);
    EXPECT_EQ(model_add_tone(m, t), -1);
}

TEST(FakeathOptions, SwitchesReachTheConfiguration)
{
    const char *argv[] = {
        "fakeath", "--phy",        "3",    "--driver", "ath10k",  "--rate",
        "50",      "--freq",       "5180", "--width",  "40",      "--refuse-at-close",
        "trigger", "--fail-reads", "2",    "--pause",  "100:250", "--split-every",
        "3",       "--burst",      "1500", "--filler", "7",       "--invalid-every",
        "5"};
    Options o;
    ASSERT_EQ(options_parse(o, static_cast<int>(std::size(argv)), const_cast<char **>(argv)),
              PARSE_OK);
    EXPECT_EQ(o.phy, 3u);
    EXPECT_EQ(o.sim.driver, Driver::Ath10k);
    EXPECT_DOUBLE_EQ(o.sim.rate_hz, 50);
    EXPECT_TRUE(o.fixed_channel);
    EXPECT_EQ(o.channel.centre_mhz, 5180);
    EXPECT_EQ(o.channel.width_mhz, 40);
    ASSERT_EQ(o.sim.faults.refuse_count, 1u);
    EXPECT_STREQ(o.sim.faults.refuse_at_close[0], "trigger");
    EXPECT_EQ(o.sim.faults.fail_reads, 2);
    EXPECT_EQ(o.sim.faults.pause_after_ms, 100u);
    EXPECT_EQ(o.sim.faults.pause_for_ms, 250u);
    EXPECT_EQ(o.sim.faults.split_every, 3u);
    EXPECT_EQ(o.sim.faults.burst, 1500u);
    EXPECT_EQ(o.sim.faults.filler_bytes, 7u);
    EXPECT_EQ(o.sim.faults.invalid_every, 5u);
    EXPECT_EQ(o.sim.model.tone_count, 1u); // the default tone
    const char *emit[] = {"fakeath", "--emitter", "microwave", "--truth", "t.json"};
    Options e;
    ASSERT_EQ(options_parse(e, 5, const_cast<char **>(emit)), PARSE_OK);
    EXPECT_EQ(e.sim.emitters.size(), 1u);
    EXPECT_EQ(e.sim.model.tone_count, 0u); // emitters replace the default tone
    EXPECT_EQ(e.truth_path, "t.json");
}

TEST(FakeathOptions, BadValuesAreErrors)
{
    const char *cases[][3] = {{"fakeath", "--driver", "ath9k"}, {"fakeath", "--rate", "0"},
                              {"fakeath", "--types", "3"},      {"fakeath", "--pause", "100"},
                              {"fakeath", "--phy", "x"},        {"fakeath", "--tone", "1:"},
                              {"fakeath", "--emitter", "wifi"}, {"fakeath", "--emitter", "laser"}};
    for (auto &c : cases) {
        Options o;
        EXPECT_EQ(options_parse(o, 3, const_cast<char **>(c)), PARSE_ERROR) << c[1] << " " << c[2];
    }
}
