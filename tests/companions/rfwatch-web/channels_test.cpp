// The page labels the axis with these numbers; a wrong one names a
// neighbour's channel.
#include "channels.h"

#include <gtest/gtest.h>

TEST(Channels, NumbersOfEachBand)
{
    struct Case {
        uint32_t mhz;
        int channel;
    };
    for (const Case &c : {
             Case{2412, 1},
             Case{2437, 6},
             Case{2472, 13},
             Case{2484, 14},
             Case{5180, 36},
             Case{5210, 42},
             Case{5500, 100},
             Case{5825, 165},
             Case{5885, 177},
             Case{5935, 2},
             Case{5955, 1},
             Case{6115, 33},
             Case{7115, 233},
         })
        EXPECT_EQ(channel_number(c.mhz), c.channel) << c.mhz;

    // Off the 5 MHz grid, between the bands, or beyond their last channel.
    for (uint32_t mhz : {0u, 2407u, 2411u, 2413u, 2477u, 2482u, 2485u, 5000u, 5175u, 5181u, 5890u,
                         5950u, 5953u, 7120u, 7125u, 65535u, 4294967295u})
        EXPECT_EQ(channel_number(mhz), 0) << mhz;
}

TEST(Channels, BinsSpanTheWidthEvenly)
{
    // 64 bins over 20 MHz at 2437: each 0.3125 MHz, from 2427 to 2447.
    EXPECT_DOUBLE_EQ(bin_low_mhz(2437, 20, 0, 64), 2427.0);
    EXPECT_DOUBLE_EQ(bin_centre_mhz(2437, 20, 0, 64), 2427.15625);
    EXPECT_DOUBLE_EQ(bin_low_mhz(2437, 20, 32, 64), 2437.0);
    EXPECT_DOUBLE_EQ(bin_centre_mhz(2437, 20, 63, 64), 2446.84375);
    EXPECT_DOUBLE_EQ(bin_low_mhz(2437, 20, 64, 64), 2447.0); // the top edge
    // An odd width: the half is not whole.
    EXPECT_DOUBLE_EQ(bin_low_mhz(5500, 5, 0, 10), 5497.5);
    EXPECT_DOUBLE_EQ(bin_centre_mhz(5500, 5, 9, 10), 5502.25);
    // No bins: no division by zero, the centre itself.
    EXPECT_DOUBLE_EQ(bin_centre_mhz(5500, 80, 0, 0), 5500.0);
    EXPECT_DOUBLE_EQ(bin_low_mhz(5500, 80, 0, 0), 5500.0);
}
