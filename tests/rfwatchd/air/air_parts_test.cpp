// SPDX-License-Identifier: MIT
// The engine's parts, each against a table of cases: the clock, the noise
// floor, the busy runs, the channels a capture covers and channel quality.
#include "air/air_channels.h"
#include "air/air_floor.h"
#include "air/air_quality.h"
#include "air/air_segments.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

TEST(AirParts, ClockUnwrapsAndStartsNewEpochs)
{
    constexpr uint64_t W = 1ull << 32;
    struct Case {
        const char *what;
        bool wraps_32;
        std::vector<uint64_t> raw;
        uint64_t want_last; // the last report's time
    } cases[] = {
        {"ordinary steps", true, {100, 300, 600}, 600},
        {"32-bit wrap", true, {W - 100, 50, 250}, W - 100 + 150 + 200},
        {"ath11k reset: a new epoch one interval on", true, {1000, 2000, 5, 15}, 2000 + 1000 + 10},
        {"ath10k jump back", false, {W + 1000, W + 1500, 7}, W + 1500 + 500},
        {"jump ahead over 10 s", false, {0, 400, 400 + 10'000'001, 400 + 10'000'101}, 900},
        {"the 64-bit TSF does not wrap at 32 bits", false, {W - 100, W + 100}, W + 100},
    };
    for (const Case &c : cases) {
        AirClock clock{};
        uint64_t t = 0;
        for (uint64_t r : c.raw)
            t = air_clock_advance(clock, r, c.wraps_32);
        EXPECT_EQ(t, c.want_last) << c.what;
    }
}

// A signal over most of the band must not lift the floor (by more than 1 dB
// over noise alone); a quieter report pulls it down at once, a louder barely.
TEST(AirParts, FloorIgnoresWhatSignalsCover)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> ripple(-1, 1);
    auto floor_of = [&](size_t bins, float covered) {
        float floor = 0;
        for (int r = 0; r < 200; ++r) {
            std::vector<float> dbm(bins);
            for (size_t j = 0; j < bins; ++j)
                dbm[j] = (j < covered * bins ? -60 : -95) + ripple(rng);
            floor = air_floor_next(floor, static_cast<uint64_t>(r), dbm.data(), dbm.size());
        }
        return floor;
    };
    for (size_t bins : {64, 256, 512}) {
        const float noise = floor_of(bins, 0);
        EXPECT_NEAR(noise, -95.0f, 1.0f) << bins;
        EXPECT_NEAR(floor_of(bins, 0.6f), noise, 1.0f) << bins;
    }
    EXPECT_LT(air_floor_track(-90, -100), -94);
    EXPECT_LT(air_floor_track(-90, -60), -88);
    const float flat[8] = {-95, -95, -95, -95, -95, -95, -95, -95};
    EXPECT_FLOAT_EQ(air_floor_percentile(flat, 8), -95);
}

// The floor taken every few reports against one taken every report (half
// the way down, 0.02 up, each report), on the same noise: with the spread
// of real bins it settles where that did; it follows a step either way.
TEST(AirParts, FloorTakenEveryFewReportsFollowsTheNoise)
{
    std::mt19937 rng(5);
    std::exponential_distribution<float> power(1);
    std::uniform_real_distribution<float> ripple(-1, 1);
    struct Case {
        const char *what;
        bool rayleigh;       // else a ripple of 1 dB
        float before, after; // noise level per bin, dBm
        int reports, averaged; // reports after the step; the last ones compared
        float within;          // dB, the floors' mean difference over those
    } cases[] = {
        {"steady", true, -95, -95, 20000, 19000, 0.2f},
        {"step down", false, -80, -100, AIR_FLOOR_EVERY, 1, 0.3f},
        {"step up", false, -100, -90, 800, 100, 0.3f},
    };
    for (const Case &c : cases) {
        float floor = 0, each = 0, diff = 0;
        std::vector<float> dbm(64);
        for (int r = 0; r < 500 + c.reports; ++r) {
            for (float &d : dbm)
                d = (r < 500 ? c.before : c.after) +
                    (c.rayleigh ? 10 * std::log10(power(rng)) : ripple(rng));
            floor = air_floor_next(floor, static_cast<uint64_t>(r), dbm.data(), dbm.size());
            const float p = air_floor_report(dbm.data(), dbm.size());
            each = r == 0 ? p : each + (p - each) * (p < each ? 0.5f : 0.02f);
            diff += r >= 500 + c.reports - c.averaged ? floor - each : 0;
        }
        EXPECT_NEAR(diff / static_cast<float>(c.averaged), 0, c.within) << c.what;
    }
}

TEST(AirParts, SegmentsBridgeOneBinAndKeepTheStrongest)
{
    // Per bin: '.' quiet, a digit d busy at -80 + d dBm; want: first-last@peak per run.
    struct Case {
        std::string bins, want;
    } cases[] = {
        {"........", ""},
        {"11.1..1.", "0-3@0 6-6@6"},
        {".1391.", "1-4@3"},
        {"1......1", "0-0@0 7-7@7"},
        {"........1.1.............11.......................1", "8-10@8 24-25@24 49-49@49"},
        // Seventeen runs: the weakest (0, at bin 0) goes, the rest keep bin order.
        {"0..1..2..3..4..5..6..7..8..9..9..8..7..6..5..4..3",
         "3-3@3 6-6@6 9-9@9 12-12@12 15-15@15 18-18@18 21-21@21 24-24@24 "
         "27-27@27 30-30@30 33-33@33 36-36@36 39-39@39 42-42@42 45-45@45 48-48@48"},
    };
    for (const Case &c : cases) {
        std::vector<float> dbm;
        std::vector<uint8_t> busy;
        for (char ch : c.bins) {
            dbm.push_back(ch == '.' ? -95.0f : -80.0f + static_cast<float>(ch - '0'));
            busy.push_back(ch != '.');
        }
        AirSegment s[AIR_MAX_SEGMENTS];
        std::string got;
        for (size_t i = 0, n = air_find_segments(busy.data(), dbm.data(), dbm.size(), s); i < n; ++i)
            got += (i ? " " : "") + std::to_string(s[i].first_bin) + "-" +
                   std::to_string(s[i].last_bin) + "@" + std::to_string(s[i].peak_bin);
        EXPECT_EQ(got, c.want) << c.bins;
    }
}

TEST(AirParts, ChannelsACaptureCovers)
{
    struct Case {
        uint16_t centre, width;
        size_t bins;
        std::string want; // number:mhz:first-last per channel
    } cases[] = {
        {2437, 20, 64, "6:2437:0-63"},
        {2422, 40, 128, "1:2412:0-63 2:2417:16-79 3:2422:32-95 4:2427:48-111 5:2432:64-127"},
        {2484, 20, 64, "14:2484:0-63"},
        {2442, 80, 256, "1:2412:0-63 2:2417:16-79 3:2422:32-95 4:2427:48-111 5:2432:64-127 "
                        "6:2437:80-143 7:2442:96-159 8:2447:112-175 9:2452:128-191 "
                        "10:2457:144-207 11:2462:160-223 12:2467:176-239 13:2472:192-255"},
        {5210, 80, 256, "36:5180:0-63 40:5200:64-127 44:5220:128-191 48:5240:192-255"},
        {5250, 160, 512, "36:5180:0-63 40:5200:64-127 44:5220:128-191 48:5240:192-255 "
                         "52:5260:256-319 56:5280:320-383 60:5300:384-447 64:5320:448-511"},
        {5775, 80, 256, "149:5745:0-63 153:5765:64-127 157:5785:128-191 161:5805:192-255"},
        {5955, 20, 64, "1:5955:0-63"},
        {2440, 10, 32, "7:2442:0-31"},  // narrower than a channel: the nearest inside
        {2450, 2, 8, ""},               // no channel's centre inside
        {5190, 20, 64, "36:5180:0-31"}, // off the grid: nearest centre inside, its bins only
    };
    for (const Case &c : cases) {
        AirChannel ch[AIR_MAX_CHANNELS];
        std::string got;
        for (size_t i = 0, n = air_covered_channels(c.centre, c.width, c.bins, ch); i < n; ++i)
            got += (i ? " " : "") + std::to_string(ch[i].number) + ":" + std::to_string(ch[i].mhz) +
                   ":" + std::to_string(ch[i].first_bin) + "-" + std::to_string(ch[i].last_bin);
        EXPECT_EQ(got, c.want) << c.centre << "/" << c.width;
    }
}

// Each case's signals added one by one: the quality never rises, and ends at want.
TEST(AirParts, QualityNeverRisesWithAnotherSignal)
{
    using A = AirClass;
    struct Term {
        AirClass cls;
        float duty, dbm;
    };
    const std::pair<std::vector<Term>, int> cases[] = {
        {{}, 100},
        {{{A::Wifi, 1, -30}}, 100},
        {{{A::Microwave, 0.5f, -60}}, 50},
        {{{A::Hopper, 0.4f, -75}}, 80},
        {{{A::Narrowband, 1, -95}}, 100},
        {{{A::Continuous, 1, -50}, {A::Hopper, 0.2f, -60}}, 0},
        {{{A::Microwave, 0.25f, -45}, {A::Unknown, 0.1f, -75}}, 70},
        {{{A::Pulsed, 0.003f, -60}}, 100},
        {{{A::Pulsed, 0.005f, -60}}, 100}, // 99.5 rounds up
        {{{A::Unknown, 0.5f, -60}, {A::Hopper, 0.5f, -60}, {A::Wifi, 1, -20}}, 0},
    };
    for (const auto &[signals, want] : cases) {
        std::vector<float> w;
        int previous = 100;
        for (const Term &t : signals) {
            w.push_back(air_signal_weight(t.cls, t.duty, t.dbm));
            EXPECT_LE(air_quality(w.data(), w.size()), previous);
            previous = air_quality(w.data(), w.size());
        }
        EXPECT_EQ(air_quality(w.data(), w.size()), want) << signals.size();
    }
}
