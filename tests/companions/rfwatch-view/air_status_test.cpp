// SPDX-License-Identifier: MIT
// The view's air line from the daemon's air lines: worst channel first, a
// channel two captures share at its worse quality, the strongest named
// signal that is not Wi-Fi kept when the width is short, stale lines gone.
#include "air_status.h"
#include "air_line_text.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

using wdtest::AirLineText;

AirLine parsed(const AirLineText &text)
{
    AirLine line{};
    EXPECT_TRUE(parse_air_line(wdtest::air_line(text), line));
    return line;
}

AirLineText at(int freq, std::vector<wdtest::AirChannelText> channels,
               std::vector<wdtest::AirSignalText> signals = {})
{
    AirLineText l;
    l.freq_mhz = freq;
    l.channels = std::move(channels);
    l.signals = std::move(signals);
    return l;
}

const wdtest::AirSignalText MICROWAVE{"microwave", 2450, 12, -50, 0.498, 0.9, 1, 5, 20, 0, 0};
const wdtest::AirSignalText HOPPER{"hopper", 2440, 1, -70, 0.2, 0.6, 1, 5, 0, 79, 0};
const wdtest::AirSignalText LOUD_WIFI{"wifi", 2437, 16.5, -30, 0.9, 0.9, 1, 5, 0, 0, 0};
const wdtest::AirSignalText LOUD_UNKNOWN{"unknown", 2437, 3, -20, 0.9, 0.9, 1, 5, 0, 0, 0};

struct Case {
    const char *what;
    std::vector<AirLineText> lines; // received at 0 s
    double now_s;
    int width;
    const char *shown;
};

} // namespace

TEST(AirStatus, ChannelsWorstFirstAndTheStrongestNamedSignal)
{
    const Case cases[] = {
        {"nothing yet", {}, 0, 80, "air: waiting"},
        {"worst first; Wi-Fi and unknown are no named signal",
         {at(2437, {{6, 2437, 0.12, 95}, {11, 2462, 0.031, 40}}, {LOUD_WIFI, LOUD_UNKNOWN})},
         0.5,
         80,
         "air: ch 11 3% q 40 | ch 6 12% q 95"},
        {"a shared channel at its worse quality; the louder signal",
         {at(2437, {{6, 2437, 0.5, 80}}, {HOPPER}),
          at(2442, {{6, 2437, 0.25, 60}, {7, 2442, 0, 100}}, {MICROWAVE, LOUD_WIFI})},
         1,
         80,
         "air: ch 6 25% q 60 | ch 7 0% q 100 | microwave 2450 MHz -50 dBm 50% (20.0 ms)"},
        {"a short width drops channels, not the signal",
         {at(2437, {{6, 2437, 0.5, 80}, {1, 2412, 0, 100}}, {HOPPER})},
         1,
         58,
         "air: ch 6 50% q 80 | hopper 2440 MHz -70 dBm 20% (79 hops)"},
        {"a narrow capture: the signal alone",
         {at(2440, {}, {HOPPER})},
         1,
         80,
         "air: hopper 2440 MHz -70 dBm 20% (79 hops)"},
        {"stale after three windows (at least 3 s)",
         {at(2437, {{6, 2437, 0, 100}})},
         3,
         80,
         "air: waiting"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto s = std::make_unique<AirStatus>();
        for (const AirLineText &l : c.lines)
            air_status_add(*s, parsed(l), 0);
        EXPECT_EQ(air_status_text(*s, c.now_s, c.width, " | "), c.shown);
    }
    // More frequencies than it holds: the oldest makes room.
    auto s = std::make_unique<AirStatus>();
    for (int i = 0; i <= static_cast<int>(AIR_STATUS_MAX_FREQS); i++)
        air_status_add(*s, parsed(at(5180 + 20 * i, {{36 + 4 * i, 5180 + 20 * i, 0, 100 - i}})), i);
    EXPECT_EQ(s->count, AIR_STATUS_MAX_FREQS);
    EXPECT_EQ(air_status_text(*s, 16.5, 30, " | "), "air: ch 100 0% q 84");
}
