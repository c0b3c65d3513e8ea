// The retained status message's exact form.
#include "status.h"

#include <gtest/gtest.h>

TEST(Status, ExactForm)
{
    EXPECT_EQ(status_json({true, true, 12, 3}),
              R"({"state":"online","daemon":"connected","lines":12,"dropped":3})");
    EXPECT_EQ(status_json({false, false, 0, 18446744073709551615ull}),
              R"({"state":"offline","daemon":"unreachable","lines":0,)"
              R"("dropped":18446744073709551615})");
}
