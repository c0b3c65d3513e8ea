// The engine's parts, each against a table of cases: the clock, the noise
// floor, the busy runs, the channels a capture covers and channel quality.
#include "air/air_channels.h"
#include "air/air_floor.h"
#include "air/air_quality.h"
#include "air/air_segments.h"

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
        {"jump ahead over 10 s", false, {0, 400, 400 + 10'000'001, 400 + 10'000'101}, 400 + 400 + 100},
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

TEST(AirParts, FloorIgnoresWhatSignalsCover)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> ripple(-1, 1);
    struct Case {
        const char *what;
        size_t bins;
        float covered; // share of bins under a -40 dBm signal
    } cases[] = {{"flat noise", 64, 0}, {"flat noise", 512, 0},
                 {"60 % covered", 64, 0.6f}, {"60 % covered", 512, 0.6f},
                 {"75 % covered", 256, 0.75f}};
    for (const Case &c : cases) {
        float floor = 0;
        for (int r = 0; r < 200; ++r) {
            std::vector<float> dbm(c.bins);
            for (size_t j = 0; j < c.bins; ++j)
                dbm[j] = j < c.covered * c.bins ? -40 + ripple(rng) : -95 + ripple(rng);
            const float p = air_floor_percentile(dbm.data(), dbm.size());
            floor = r == 0 ? p : air_floor_track(floor, p);
        }
        EXPECT_NEAR(floor, -95.0f, 1.0f) << c.what << " " << c.bins;
    }
    // A quieter report pulls the floor down at once; a louder one barely.
    EXPECT_LT(air_floor_track(-90, -100), -94);
    EXPECT_LT(air_floor_track(-90, -60), -89);
    const float flat[8] = {-95, -95, -95, -95, -95, -95, -95, -95};
    EXPECT_FLOAT_EQ(air_floor_percentile(flat, 8), -95);
}

TEST(AirParts, SegmentsBridgeOneBinAndKeepTheStrongest)
{
    struct Case {
        const char *what;
        std::string busy; // per bin: '.' quiet, a digit: busy at -80 + 5 * digit dBm
        std::string want; // "first-last@peak_bin" per run
    } cases[] = {
        {"none", "........", ""},
        {"one-bin gap bridged, two not", "11.1..1.", "0-3@0 6-6@6"},
        {"peak kept", ".1391.", "1-4@3"},
        {"edges", "1......1", "0-0@0 7-7@7"},
    };
    for (const Case &c : cases) {
        std::vector<float> dbm;
        for (char ch : c.busy)
            dbm.push_back(ch == '.' ? -95.0f : -80.0f + 5.0f * static_cast<float>(ch - '0'));
        AirSegment seg[AIR_MAX_SEGMENTS];
        std::string got;
        for (size_t i = 0, n = air_find_segments(dbm.data(), dbm.size(), -85, seg); i < n; ++i)
            got += (i ? " " : "") + std::to_string(seg[i].first_bin) + "-" +
                   std::to_string(seg[i].last_bin) + "@" + std::to_string(seg[i].peak_bin);
        EXPECT_EQ(got, c.want) << c.what;
    }
    // More runs than room: the strongest are kept, in bin order.
    std::vector<float> many(3 * 40, -95);
    for (size_t r = 0; r < 40; ++r)
        many[3 * r] = -80 + static_cast<float>(r % 20);
    AirSegment seg[AIR_MAX_SEGMENTS];
    ASSERT_EQ(air_find_segments(many.data(), many.size(), -85, seg), AIR_MAX_SEGMENTS);
    for (size_t i = 0; i < AIR_MAX_SEGMENTS; ++i) {
        EXPECT_GE(seg[i].peak_dbm, -80 + 12) << i;
        EXPECT_TRUE(i == 0 || seg[i].first_bin > seg[i - 1].first_bin);
    }
}

TEST(AirParts, ChannelsACaptureCovers)
{
    struct Case {
        uint16_t centre, width;
        size_t bins;
        std::string want; // "number:mhz:first-last" per channel
    } cases[] = {
        {2437, 20, 64, "6:2437:0-63"},
        {2422, 40, 128, "1:2412:0-63 2:2417:16-79 3:2422:32-95 4:2427:48-111 5:2432:64-127"},
        {2484, 20, 64, "14:2484:0-63"},
        {5180, 20, 64, "36:5180:0-63"},
        {5210, 80, 256, "36:5180:0-63 40:5200:64-127 44:5220:128-191 48:5240:192-255"},
        {5250, 160, 512, "36:5180:0-63 40:5200:64-127 44:5220:128-191 48:5240:192-255 "
                         "52:5260:256-319 56:5280:320-383 60:5300:384-447 64:5320:448-511"},
        {5745, 20, 64, "149:5745:0-63"},
        {5775, 80, 256, "149:5745:0-63 153:5765:64-127 157:5785:128-191 161:5805:192-255"},
        {5955, 20, 64, "1:5955:0-63"},
        {2440, 10, 32, "7:2442:0-31"},   // narrower than a channel: the nearest inside
        {2450, 2, 8, ""},                // no channel centre inside
        {5190, 20, 64, "36:5180:0-31"},  // off the grid: nearest centre inside, its bins only
    };
    for (const Case &c : cases) {
        AirChannel ch[AIR_MAX_CHANNELS];
        std::string got;
        for (size_t i = 0, n = air_covered_channels(c.centre, c.width, c.bins, ch); i < n; ++i)
            got += (i ? " " : "") + std::to_string(ch[i].number) + ":" +
                   std::to_string(ch[i].mhz) + ":" + std::to_string(ch[i].first_bin) + "-" +
                   std::to_string(ch[i].last_bin);
        EXPECT_EQ(got, c.want) << c.centre << "/" << c.width;
    }
}

TEST(AirParts, QualityNeverRisesWithAnotherSignal)
{
    struct Term {
        AirClass cls;
        float duty, dbm;
    };
    struct Case {
        std::vector<Term> signals;
        int want;
    } cases[] = {
        {{}, 100},
        {{{AirClass::Wifi, 1, -30}}, 100},
        {{{AirClass::Microwave, 0.5f, -60}}, 50},
        {{{AirClass::Hopper, 0.4f, -75}}, 80},
        {{{AirClass::Narrowband, 1, -95}}, 100},
        {{{AirClass::Continuous, 1, -50}, {AirClass::Hopper, 0.2f, -60}}, 0},
        {{{AirClass::Microwave, 0.25f, -45}, {AirClass::Unknown, 0.1f, -75}}, 70},
        {{{AirClass::Pulsed, 0.003f, -60}}, 100},
        {{{AirClass::Unknown, 0.5f, -60}, {AirClass::Hopper, 0.5f, -60}, {AirClass::Wifi, 1, -20}}, 0},
    };
    for (const Case &c : cases) {
        std::vector<float> w;
        int previous = 100;
        for (const Term &t : c.signals) {
            w.push_back(air_signal_weight(t.cls, t.duty, t.dbm));
            const int q = air_quality(w.data(), w.size());
            EXPECT_LE(q, previous);
            previous = q;
        }
        EXPECT_EQ(air_quality(w.data(), w.size()), c.want) << c.signals.size();
    }
}
