// SPDX-License-Identifier: MIT
// A fleet radio's air summary: the worst quality and heaviest non-Wi-Fi
// signals over the frequencies heard of lately, in fixed room.
#include "air_line.h"
#include "fleet_air.h"
#include "air_line_text.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(FleetAir, WorstQualityAndHeaviestNamedSignalsOfTheFreshFrequencies)
{
    using Sig = wdtest::AirSignalText;
    struct Note {
        int freq, quality;
        std::vector<Sig> signals;
        int64_t at_us;
    };
    // At 20 s: 2412 is stale; 2437's first line was replaced by its second;
    // 5180 pushed out the frequency heard of longest ago (2412, stale anyway).
    const Note notes[] = {
        {2412, 5, {{"continuous", 2412, 20, -40, 1.0}}, 1000000},
        {2437, 30, {{"microwave", 2450, 10, -50, 0.9}}, 12000000},
        {2462, 70, {{"wifi", 2462, 16.5, -30, 0.9}, {"hopper", 2460, 1, -75, 0.5}}, 13000000},
        {2472, 90, {{"narrowband", 2475, 3, -60, 0.2}, {"unknown", 2470, 2, -88, 0.9}}, 14000000},
        {2437, 60, {{"microwave", 2450, 10, -60, 0.4}}, 15000000},
        {5180, 80, {{"pulsed", 5190, 1, -50, 0.05}}, 16000000},
    };
    FleetAir air;
    for (const Note &n : notes) {
        wdtest::AirLineText t;
        t.freq_mhz = n.freq;
        t.channels = {{1, n.freq, 0.1, n.quality}};
        t.signals = n.signals;
        AirLine line;
        ASSERT_TRUE(parse_air_line(wdtest::air_line(t), line)) << wdtest::air_line(t);
        fleet_air_note(air, line, n.at_us);
    }
    const FleetAirSummary s = fleet_air_summary(air, 20000000);
    EXPECT_EQ(s.quality, 60);
    // Weights: microwave 0.4, narrowband 0.2, hopper 0.5*15/30, pulsed 0.05, unknown 0.9*2/30.
    std::string order;
    for (size_t i = 0; i < s.signal_count; i++)
        order += s.signals[i].cls + " ";
    EXPECT_EQ(order, "microwave hopper narrowband unknown ");
    EXPECT_EQ(fleet_air_summary(air, 40000000).quality, -1) << "all stale";
}
