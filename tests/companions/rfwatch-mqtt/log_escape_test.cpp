// SPDX-License-Identifier: MIT
// What a publisher sent reaches rfwatch-mqtt's log escaped and bounded.
#include "log_escape.h"

#include <gtest/gtest.h>

TEST(LogEscape, ControlBytesQuotesAndLength)
{
    EXPECT_EQ(escape_for_log("plain {\"a\":1}", 100), "plain {\\x22a\\x22:1}");
    EXPECT_EQ(escape_for_log("a\nrfwatch-mqtt: fake\x1b[2J\\", 100),
              "a\\x0arfwatch-mqtt: fake\\x1b[2J\\x5c");
    EXPECT_EQ(escape_for_log("\xff", 100), "\\xff");
    EXPECT_EQ(escape_for_log("abcdef", 3), "abc...");
}
