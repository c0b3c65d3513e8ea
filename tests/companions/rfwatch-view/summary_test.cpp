// SPDX-License-Identifier: MIT
// rfwatch-view's summary of the daemon's sample lines, including bins the
// daemon writes as null (values JSON has no number for). What is not a line
// is the strict parser's (rfwatchd-stream's frame test).
#include "summary.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace
{

std::string line_with_bins(const std::string &bins, int freq = 5180)
{
    return "{\"detector\":0,\"freq_mhz\":" + std::to_string(freq) +
           ",\"bandwidth_mhz\":20,\"noise_dbm\":-109,\"rssi\":40,\"timestamp\":1,"
           "\"num_aggregated\":3,\"bin_count\":4,\"bins\":[" +
           bins + "]}";
}

std::string printed(const Summary &s)
{
    char *text = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    summary_print(s, 1.0, out);
    fclose(out);
    std::string result(text, length);
    free(text);
    return result;
}

} // namespace

TEST(SampleLine, PeakAndMeanOfTheBins)
{
    SampleLine l{};
    ASSERT_TRUE(parse_sample_line(line_with_bins("-90.00,-80.50,-100.00,-109.50"), l));
    EXPECT_EQ(l.bin_count, 4);
    EXPECT_EQ(l.valued_bins, 4);
    EXPECT_DOUBLE_EQ(l.peak_dbm, -80.5);
    EXPECT_DOUBLE_EQ(l.mean_dbm, -95.0);
    EXPECT_EQ(l.num_aggregated, 3);
}

TEST(SampleLine, NullBinsCountButStayOutOfPeakAndMean)
{
    SampleLine l{};
    ASSERT_TRUE(parse_sample_line(line_with_bins("null,-80.00,null,-100.00"), l));
    EXPECT_EQ(l.bin_count, 4);
    EXPECT_EQ(l.valued_bins, 2);
    EXPECT_DOUBLE_EQ(l.peak_dbm, -80.0);
    EXPECT_DOUBLE_EQ(l.mean_dbm, -90.0);
}

TEST(Summary, AllNullLinesCountSamplesButShowNoPower)
{
    static Summary s;
    summary_clear(s);
    SampleLine l{};
    ASSERT_TRUE(parse_sample_line(line_with_bins("null,null,null,null"), l));
    EXPECT_EQ(l.valued_bins, 0);
    summary_add(s, l);
    ASSERT_EQ(s.count, 1);
    EXPECT_EQ(s.rows[0].samples, 3);
    EXPECT_NE(printed(s).find("5180 MHz  20     0            3          -          -\n"),
              std::string::npos)
        << printed(s);

    // A later line with values sets the power from its bins alone.
    ASSERT_TRUE(parse_sample_line(line_with_bins("null,-70.00,-90.00,null"), l));
    summary_add(s, l);
    EXPECT_EQ(s.rows[0].samples, 6);
    EXPECT_EQ(s.rows[0].lines, 2);
    EXPECT_NE(printed(s).find("     -70.00     -80.00\n"), std::string::npos) << printed(s);
}
