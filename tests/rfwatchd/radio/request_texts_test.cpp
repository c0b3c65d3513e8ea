// SPDX-License-Identifier: MIT
// The table's formats are checked at compile time by format_takes; a
// reader that accepted anything would let a wrong row through.
#include "radio/request_texts.h"

#include <gtest/gtest.h>

TEST(FormatTakes, ReadsConversionsInOrder)
{
    EXPECT_TRUE(format_takes("Failed to set %s %s: %s\n", "sss"));
    EXPECT_TRUE(format_takes("freq=%u MHz, ifindex=%d (errno=%d) 100%%\n", "udd"));
    EXPECT_TRUE(format_takes("%-8.3lu|%02x", "ux"));
    EXPECT_TRUE(format_takes("no arguments\n", ""));
    EXPECT_FALSE(format_takes("%s: %d\n", "ds")) << "order matters";
    EXPECT_FALSE(format_takes("%s: %s\n", "s")) << "an argument short";
    EXPECT_FALSE(format_takes("%s\n", "ss")) << "an argument too many";
    EXPECT_FALSE(format_takes("cut short %", ""));
}
