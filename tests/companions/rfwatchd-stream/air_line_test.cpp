// SPDX-License-Identifier: MIT
// rfwatchd's air line as every companion reads it: one table of lines, the
// daemon's own form (the shared builder) and broken ones, each accepted or
// refused, with the values a reader goes on to show.
#include "air_line.h"
#include "sample_line.h"
#include "air_line_text.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

using wdtest::AirLineText;
using wdtest::AirSignalText;

AirLineText busy()
{
    AirLineText l;
    l.freq_mhz = 2442;
    l.bandwidth_mhz = 40;
    l.timestamp = 18446744073709549568u; // the largest double below 2^64
    l.channels = {{6, 2437, 0.125, 80}, {7, 2442, 0.5, 35}, {8, 2447, 0, 100}};
    AirSignalText mw{"microwave", 2450, 12.5, -50, 0.498, 0.91, 123000000, 5230, 20, 0, 10};
    AirSignalText bt{"hopper", 2440, 1, -70, 0.2, 0.6, 5, 10, 0, 79, 0};
    l.signals = {mw, bt};
    return l;
}

AirLineText with(void (*change)(AirLineText &))
{
    AirLineText l = busy();
    change(l);
    return l;
}

std::string edited(const std::string &from, const std::string &to)
{
    std::string line = wdtest::air_line(busy());
    line.replace(line.find(from), from.size(), to);
    return line;
}

struct Case {
    const char *what;
    std::string line;
    bool accepted;
    size_t channels, signals; // when accepted
    int worst;                // when accepted
};

} // namespace

TEST(AirLine, StrictParseAndWhatReadersShow)
{
    const Case cases[] = {
        {"the daemon's own", wdtest::air_line(busy()), true, 3, 2, 35},
        {"a narrow capture: no channel, no signal",
         wdtest::air_line(with([](AirLineText &l) { l.channels = {}; })), true, 0, 2, 100},
        {"a class it does not know is kept",
         wdtest::air_line(with([](AirLineText &l) { l.signals[1].cls = "radar-ish thing"; })), true,
         3, 2, 35},
        {"a member it does not know is let be", edited("\"air\":1,", "\"air\":1,\"new\":[1],"),
         true, 3, 2, 35},
        {"quality 0", edited("\"quality\":35", "\"quality\":0"), true, 3, 2, 0},
        {"air 2", edited("\"air\":1", "\"air\":2"), false, 0, 0, 0},
        {"quality over 100", edited("\"quality\":35", "\"quality\":101"), false, 0, 0, 0},
        {"quality not whole", edited("\"quality\":35", "\"quality\":35.5"), false, 0, 0, 0},
        {"utilisation over 1", edited("\"utilisation\":0.500", "\"utilisation\":1.5"), false, 0, 0,
         0},
        {"duty below 0", edited("\"duty\":0.498", "\"duty\":-0.1"), false, 0, 0, 0},
        {"confidence a string", edited("\"confidence\":0.910", "\"confidence\":\"0.9\""), false, 0,
         0, 0},
        {"dbm infinite", edited("\"dbm\":-50.0", "\"dbm\":-1e999"), false, 0, 0, 0},
        {"channel beyond 16 bits", edited("\"channel\":6", "\"channel\":65536"), false, 0, 0, 0},
        {"timestamp 2^64", edited("18446744073709549568", "18446744073709551616"), false, 0, 0, 0},
        {"hops not whole", edited("\"hops\":79", "\"hops\":7.5"), false, 0, 0, 0},
        {"age missing", edited(",\"age_ms\":10", ""), false, 0, 0, 0},
        {"reports missing", edited("\"reports\":200,", ""), false, 0, 0, 0},
        {"channels not a list", edited("\"channels\":[", "\"channels\":3,\"x\":["), false, 0, 0, 0},
        {"an escape in a class",
         wdtest::air_line(with([](AirLineText &l) { l.signals[0].cls = "wifi\\u001b[2J"; })), false,
         0, 0, 0},
        {"an overlong class",
         wdtest::air_line(with([](AirLineText &l) { l.signals[0].cls = std::string(25, 'x'); })),
         false, 0, 0, 0},
        {"an empty driver", wdtest::air_line(with([](AirLineText &l) { l.driver = ""; })), false, 0,
         0, 0},
        {"thirteen channels, an 80 MHz capture at 2.4 GHz",
         wdtest::air_line(with([](AirLineText &l) { l.channels.resize(13, l.channels[0]); })), true,
         13, 2, 35},
        {"fifteen channels",
         wdtest::air_line(with([](AirLineText &l) { l.channels.resize(15, l.channels[0]); })), false,
         0, 0, 0},
        {"thirteen signals",
         wdtest::air_line(with([](AirLineText &l) { l.signals.resize(13, l.signals[0]); })), false,
         0, 0, 0},
        {"two objects", wdtest::air_line(busy()) + "{}", false, 0, 0, 0},
        {"cut short", wdtest::air_line(busy()).substr(0, 100), false, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.line);
        AirLine got{};
        ASSERT_EQ(parse_air_line(c.line, got), c.accepted);
        // Every air line, good or bad, is told apart from a spectrum line,
        // and the spectrum parse does not take it.
        SpectrumLine spectrum{};
        EXPECT_TRUE(is_air_line(c.line));
        EXPECT_FALSE(parse_spectrum_line(c.line, spectrum));
        if (!c.accepted)
            continue;
        EXPECT_EQ(got.channel_count, c.channels);
        EXPECT_EQ(got.signal_count, c.signals);
        EXPECT_EQ(air_line_worst_quality(got), c.worst);
    }
    // The values themselves, from the daemon's own line.
    AirLine l{};
    ASSERT_TRUE(parse_air_line(wdtest::air_line(busy()), l));
    EXPECT_EQ(l.driver, "ath11k");
    EXPECT_EQ(l.freq_mhz, 2442);
    EXPECT_EQ(l.timestamp, 18446744073709549568u);
    EXPECT_DOUBLE_EQ(l.channels[1].utilisation, 0.5);
    const AirLineSignal &mw = l.signals[0];
    EXPECT_EQ(mw.cls, "microwave");
    EXPECT_DOUBLE_EQ(mw.duty, 0.498);
    EXPECT_EQ(mw.first_seen, 123000000u);
    EXPECT_EQ(mw.age_ms, 5230u);
    EXPECT_DOUBLE_EQ(mw.period_ms, 20);
    EXPECT_EQ(mw.hops, 0u);
    EXPECT_EQ(l.signals[1].hops, 79u);
    EXPECT_DOUBLE_EQ(l.signals[1].burst_ms, 0);
    // The cheap test looks at the first member only.
    EXPECT_TRUE(is_air_line(" \t{ \"air\":1}x"));
    for (const char *other :
         {"", "{", "{}", "{\"detector\":0,\"air\":1}", "[\"air\"]", "{\"airy\":1}"})
        EXPECT_FALSE(is_air_line(other)) << other;
}
