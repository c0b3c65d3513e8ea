// SPDX-License-Identifier: MIT
// The air line from an engine fed known reports: its exact text, and each
// cursor's window counting only what happened since that cursor began.
#include "air/air_engine.h"
#include "air_line_text.h"

#include <cJSON.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

// An ath11k report: flat noise at -95 dBm, the lowest `busy` bins at -50.
SpectralSample report(uint16_t freq, uint16_t width, size_t bins, uint64_t ts, size_t busy)
{
    SpectralSample s{};
    s.freq_mhz = freq;
    s.bandwidth_mhz = width;
    s.bin_count = bins;
    s.timestamp = ts;
    for (size_t j = 0; j < bins; ++j)
        s.bins[j] = j < busy ? -50.0f : -95.0f;
    return s;
}

std::vector<std::string> lines(const AirEngine &e, AirCursor &c, uint32_t window_ms)
{
    std::vector<std::string> out;
    auto take = [&](std::string_view l) { out.emplace_back(l); };
    const size_t n = air_write_lines(e, c, window_ms, take);
    EXPECT_EQ(n, out.size());
    return out;
}

using EnginePtr = std::unique_ptr<AirEngine, decltype(&air_engine_free)>;
using CursorPtr = std::unique_ptr<AirCursor, decltype(&air_cursor_free)>;

AirSignal signal(uint32_t id, AirClass cls, float mhz, float dbm, uint64_t on)
{
    // The listed members only; the tracker's working state stays zero.
    AirSignal s{};
    s.id = id, s.cls = cls, s.confidence = 0.9f, s.mhz = mhz, s.width_mhz = 5, s.dbm = dbm;
    s.first_seen_us = 1000, s.first_seen_timestamp = 1000, s.on_reports = on;
    return s;
}

} // namespace

// Two windows of two cursors, and a slot restarted by a new bin count.
TEST(AirLine, EachCursorCountsItsOwnWindow)
{
    EnginePtr e(air_engine_new(AirSettings{}, AirDriver::Ath11k), air_engine_free);
    CursorPtr a(air_cursor_new(*e), air_cursor_free);
    uint64_t ts = 0;
    for (int i = 0; i < 10; ++i)
        air_engine_add(*e, report(2437, 20, 64, ts += 5000, 32)); // half the bins busy
    CursorPtr b(air_cursor_new(*e), air_cursor_free);
    for (int i = 0; i < 30; ++i)
        air_engine_add(*e, report(2437, 20, 64, ts += 5000, 0));
    air_engine_add(*e, report(5180, 20, 64, ts += 5000, 0));

    struct Case {
        AirCursor *cursor;
        std::vector<std::string> want; // per line: "freq reports utilisation"
    };
    auto figures = [](const std::string &l) {
        cJSON *j = cJSON_Parse(l.c_str());
        EXPECT_NE(j, nullptr) << l;
        const cJSON *ch = cJSON_GetArrayItem(cJSON_GetObjectItem(j, "channels"), 0);
        char t[64];
        snprintf(t, sizeof t, "%d %d %.3f", cJSON_GetObjectItem(j, "freq_mhz")->valueint,
                 cJSON_GetObjectItem(j, "reports")->valueint,
                 cJSON_GetObjectItem(ch, "utilisation")->valuedouble);
        cJSON_Delete(j);
        return std::string(t);
    };
    for (const Case &c : {Case{a.get(), {"2437 40 0.250", "5180 1 0.000"}},
                          Case{b.get(), {"2437 30 0.000", "5180 1 0.000"}}}) {
        std::vector<std::string> got;
        for (const std::string &l : lines(*e, *c.cursor, 1000))
            got.push_back(figures(l));
        EXPECT_EQ(got, c.want);
    }
    // Nothing since: no lines. Then a new bin count starts 2437 afresh,
    // and a window that spans it counts the new start whole.
    EXPECT_TRUE(lines(*e, *a, 1000).empty());
    for (int i = 0; i < 3; ++i)
        air_engine_add(*e, report(2437, 20, 128, ts += 5000, 64));
    air_engine_add(*e, report(2437, 20, 128, ts += 5000, 0));
    std::vector<std::string> after = lines(*e, *a, 1000);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(figures(after[0]), "2437 4 0.750");
}

// The whole text of one line against the test kit's builder, with signals
// known to the cursor, born in the window, and of a restarted slot.
TEST(AirLine, TextDutyAndOrder)
{
    EnginePtr e(air_engine_new(AirSettings{}, AirDriver::Ath11k), air_engine_free);
    for (uint64_t ts = 1000; ts <= 200 * 5000; ts += 5000)
        air_engine_add(*e, report(2437, 20, 64, ts, 0));
    CursorPtr c(air_cursor_new(*e), air_cursor_free);
    AirFrequency &f = e->frequencies[0];
    ASSERT_EQ(f.freq_mhz, 2437);
    AirSignal *s = f.tracker.signals;
    // The cursor knew 7 at 40 on-reports, and 9 not at all; 100 reports since.
    s[0] = signal(7, AirClass::Wifi, 2437, -40, 90);
    s[1] = signal(9, AirClass::Microwave, 2440, -60, 30);
    s[1].period_ms = 20;
    s[1].burst_ms = 10;
    s[2] = signal(11, AirClass::Hopper, 2430, -75, 50);
    s[2].hops = 17;
    s[3] = signal(12, AirClass::Narrowband, 2500, -70, 3); // on only before the window
    c->frequencies[0].reports = f.reports - 100;
    c->frequencies[0].signals[0] = {7, 40};
    c->frequencies[0].signals[1] = {12, 3};
    c->frequencies[0].signals[2] = {11, 10};
    std::vector<std::string> got = lines(*e, *c, 500);
    ASSERT_EQ(got.size(), 1u);

    // Quality on channel 6: 1 - (microwave 0.3 * 1 + hopper 0.4 * 0.5).
    wdtest::AirLineText want{"ath11k", 2437, 20, f.last_timestamp, 500, 100, -95, -85,
                             {{6, 2437, 0, 50}}, {}};
    const uint64_t age = (f.last_seen_us - 1000) / 1000;
    want.signals = {{"microwave", 2440, 5, -60, 0.3, 0.9, 1000, age, 20, 0, 10},
                    {"hopper", 2430, 5, -75, 0.4, 0.9, 1000, age, 0, 17, 0},
                    {"wifi", 2437, 5, -40, 0.5, 0.9, 1000, age, 0, 0, 0}};
    EXPECT_EQ(got[0], wdtest::air_line(want));
    cJSON *j = cJSON_Parse(got[0].c_str());
    ASSERT_NE(j, nullptr);
    EXPECT_STREQ(cJSON_GetArrayItem(j, 10)->string, "signals");
    cJSON_Delete(j);

    // The slot started afresh since the cursor's snapshot: all its reports
    // and every signal's on-reports count.
    c->frequencies[0].generation = f.generation + 1;
    got = lines(*e, *c, 500);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].find("\"reports\":200,"), std::string::npos);
    EXPECT_NE(got[0].find("\"class\":\"wifi\",\"mhz\":2437.0,\"width_mhz\":5.0,\"dbm\":-40.0,"
                          "\"duty\":0.450"),
              std::string::npos)
        << got[0];
}
