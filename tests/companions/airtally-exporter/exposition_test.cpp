// SPDX-License-Identifier: MIT
// The text format's building blocks: label escaping (SSIDs are arbitrary
// bytes), sample lines and value text.
#include "exposition.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace airtally_exporter;

namespace
{

std::string escaped(std::string_view bytes)
{
    std::string out;
    append_label_value(out, bytes);
    return out;
}

} // namespace

TEST(LabelValue, EscapesWhatTheFormatReserves)
{
    EXPECT_EQ(escaped("plain ssid"), "plain ssid");
    EXPECT_EQ(escaped(R"(a"b\c)"), R"(a\"b\\c)");
    EXPECT_EQ(escaped("two\nlines"), "two\\nlines");
    // A backslash before an n stays two characters apart from a line feed.
    EXPECT_EQ(escaped("\\n"), "\\\\n");
    EXPECT_EQ(escaped(""), "");
}

TEST(LabelValue, KeepsUtf8AndReplacesWhatIsNot)
{
    EXPECT_EQ(escaped("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb6"),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb6");
    const std::string fffd = "\xef\xbf\xbd";
    EXPECT_EQ(escaped("a\xff"
                      "b"),
              "a" + fffd + "b");
    // A sequence cut short at the end, an overlong form and a surrogate:
    // each byte that starts no well-formed sequence becomes one U+FFFD.
    EXPECT_EQ(escaped("x\xe2\x82"), "x" + fffd + fffd);
    EXPECT_EQ(escaped("\xc0\xaf"), fffd + fffd);
    EXPECT_EQ(escaped("\xed\xa0\x80"), fffd + fffd + fffd);
    // A quote after a bad byte is still escaped, never swallowed.
    EXPECT_EQ(escaped("\xe2\""), fffd + "\\\"");
}

TEST(SampleLine, NameLabelsAndValue)
{
    std::string out;
    append_sample(out, "m", {}, 3);
    const Label labels[] = {{"a", "x"}, {"b", "q\""}};
    append_sample(out, "m_total", labels, 0.25);
    EXPECT_EQ(out, "m 3\nm_total{a=\"x\",b=\"q\\\"\"} 0.25\n");

    out.clear();
    append_family(out, "m_seconds", "gauge", "How long.");
    EXPECT_EQ(out, "# HELP m_seconds How long.\n# TYPE m_seconds gauge\n");
}

TEST(SampleValue, IntegersStayIntegersOthersRoundTrip)
{
    EXPECT_EQ(format_value(0), "0");
    EXPECT_EQ(format_value(2412000000.0), "2412000000");
    EXPECT_EQ(format_value(-3), "-3");
    EXPECT_EQ(format_value(0.1), "0.1");
    EXPECT_EQ(std::stod(format_value(1.0 / 3)), 1.0 / 3);
    EXPECT_EQ(std::stod(format_value(1e300)), 1e300);
    EXPECT_EQ(format_value(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(format_value(std::numeric_limits<double>::infinity()), "+Inf");
    EXPECT_EQ(format_value(-std::numeric_limits<double>::infinity()), "-Inf");
}
