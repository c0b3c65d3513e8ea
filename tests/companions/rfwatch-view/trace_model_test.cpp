// SPDX-License-Identifier: MIT
// The full-screen view's model: latest line per centre, max-hold, and the
// reduction to screen columns over a sweep's span.
#include "trace_model.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace
{

SampleLine line_at(int freq, int width = 20, int detector = 0)
{
    SampleLine l{};
    l.detector = detector;
    l.freq_mhz = freq;
    l.bandwidth_mhz = width;
    return l;
}

std::vector<float> flat(size_t n, float dbm, int tone_bin = -1, float tone = 0)
{
    std::vector<float> b(n, dbm);
    if (tone_bin >= 0)
        b[static_cast<size_t>(tone_bin)] = tone;
    return b;
}

} // namespace

TEST(TraceModel, SweepSitsSideBySideAndKeepsTheLatestLinePerCentre)
{
    TraceModel m;
    for (int f : {2457, 2417, 2437})
        ASSERT_TRUE(model_add(m, line_at(f), flat(64, -95)));
    ASSERT_TRUE(model_add(m, line_at(2437), flat(64, -80)));
    ASSERT_EQ(m.traces.size(), 3u);
    EXPECT_EQ(m.traces[0].freq_mhz, 2417);
    EXPECT_EQ(m.traces[2].freq_mhz, 2457);
    EXPECT_FLOAT_EQ(m.traces[1].bins[0], -80);
    FreqSpan s = model_span(m);
    EXPECT_DOUBLE_EQ(s.from_mhz, 2407);
    EXPECT_DOUBLE_EQ(s.to_mhz, 2467);

    // Another detector has its own traces and span.
    ASSERT_TRUE(model_add(m, line_at(5180, 40, 1), flat(128, -90)));
    EXPECT_DOUBLE_EQ(model_span(m).to_mhz, 2467);
    EXPECT_EQ(model_next_detector(m), 1);
    EXPECT_DOUBLE_EQ(model_span(m).from_mhz, 5160);
    EXPECT_EQ(model_next_detector(m), 0);
}

TEST(TraceModel, RefusesLinesItCannotPlaceAndStaysBounded)
{
    TraceModel m;
    EXPECT_FALSE(model_add(m, line_at(2437), {}));
    EXPECT_FALSE(model_add(m, line_at(2437, 0), flat(4, -90)));
    EXPECT_FALSE(model_add(m, line_at(2437), flat(MAX_TRACE_BINS + 1, -90)));
    for (int i = 0; i < MAX_TRACES + 10; i++)
        model_add(m, line_at(1000 + i), flat(4, -90));
    EXPECT_EQ(m.traces.size(), static_cast<size_t>(MAX_TRACES));
    EXPECT_TRUE(model_span(TraceModel{}).empty());
}

TEST(TraceModel, MaxHoldKeepsTheStrongestUntilResetOrANewWidth)
{
    TraceModel m;
    model_add(m, line_at(2437), flat(4, -95, 1, -40));
    model_add(m, line_at(2437), std::vector<float>{-90, -95, NAN, -95});
    const Trace &t = m.traces[0];
    EXPECT_FLOAT_EQ(t.max_hold[0], -90);
    EXPECT_FLOAT_EQ(t.max_hold[1], -40);
    EXPECT_FLOAT_EQ(t.max_hold[2], -95); // a null bin does not erase it
    EXPECT_TRUE(std::isnan(t.bins[2]));

    model_reset_max_hold(m);
    EXPECT_FLOAT_EQ(m.traces[0].max_hold[1], -95);

    model_add(m, line_at(2437), flat(4, -95, 1, -40));
    model_add(m, line_at(2437, 40), flat(4, -99));
    EXPECT_FLOAT_EQ(m.traces[0].max_hold[1], -99);
}

TEST(TraceModel, PeakIsTheStrongestBinAtItsCentre)
{
    TraceModel m;
    model_add(m, line_at(2417), flat(64, -95, 3, -60));
    model_add(m, line_at(2437), flat(64, -95, 40, -40));
    model_add(m, line_at(5180, 20, 1), flat(64, -10));
    Peak p = model_peak(m);
    ASSERT_TRUE(p.found);
    EXPECT_DOUBLE_EQ(p.dbm, -40);
    EXPECT_DOUBLE_EQ(p.freq_mhz, 2427 + 40.5 * 20 / 64);
}

TEST(TraceModelColumns, NarrowBinsGoToTheColumnOfTheirCentre)
{
    TraceModel m;
    for (int f : {2417, 2437, 2457})
        model_add(m, line_at(f), flat(64, -95, f == 2437 ? 40 : -1, -40));
    std::vector<float> live, hold;
    const int columns = 94;
    model_columns(m, model_span(m), columns, live, hold);
    ASSERT_EQ(live.size(), 94u);
    const double tone = 2427 + 40.5 * 20 / 64;
    const int expected = static_cast<int>(std::floor((tone - 2407) / 60 * columns));
    for (int c = 0; c < columns; c++) {
        EXPECT_FLOAT_EQ(live[static_cast<size_t>(c)], c == expected ? -40 : -95) << "column " << c;
        EXPECT_FLOAT_EQ(hold[static_cast<size_t>(c)], live[static_cast<size_t>(c)]);
    }
}

TEST(TraceModelColumns, WideBinsFillEveryColumnTheyCoverAndGapsStayEmpty)
{
    TraceModel m;
    // Four 5 MHz bins from 2427 to 2447, and a second line from 2467 to
    // 2487: 2447-2467 holds nothing.
    model_add(m, line_at(2437), std::vector<float>{-90, -80, NAN, -60});
    model_add(m, line_at(2477), flat(4, -70));
    std::vector<float> live, hold;
    model_columns(m, model_span(m), 60, live, hold); // 1 MHz per column
    EXPECT_FLOAT_EQ(live[0], -90);
    EXPECT_FLOAT_EQ(live[4], -90);
    EXPECT_FLOAT_EQ(live[5], -80);
    EXPECT_TRUE(std::isnan(live[12])); // the null bin
    EXPECT_FLOAT_EQ(live[19], -60);
    for (int c = 20; c < 40; c++)
        EXPECT_TRUE(std::isnan(live[static_cast<size_t>(c)])) << "column " << c;
    EXPECT_FLOAT_EQ(live[40], -70);
    EXPECT_FLOAT_EQ(live[59], -70);
}
