// SPDX-License-Identifier: MIT
// The waits that slow token guessing, and the limit on libwebsockets' log
// lines, on a clock the test moves.
#include "auth_throttle.h"
#include "log_limiter.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

TEST(AuthThrottle, WaitsDoubleAfterAFewFailuresPerPeerAndSuccessClears)
{
    auto t = std::make_unique<AuthThrottle>();
    uint64_t now = 5'000'000;
    // {failures so far, the wait after one more}
    const std::pair<unsigned, uint64_t> steps[] = {
        {0, 0}, {1, 0}, {2, 0}, {3, 1000}, {4, 2000}, {5, 4000}, {6, 8000},
    };
    for (const auto &[before, wait] : steps) {
        throttle_failed(*t, "10.0.0.1", now);
        EXPECT_EQ(throttle_wait_ms(*t, "10.0.0.1", now), wait) << "after " << before + 1;
        now += wait;
        EXPECT_EQ(throttle_wait_ms(*t, "10.0.0.1", now), 0u);
    }
    EXPECT_EQ(throttle_wait_ms(*t, "10.0.0.2", now), 0u); // another peer is not slowed
    for (int i = 0; i < 20; i++)
        throttle_failed(*t, "10.0.0.1", now);
    EXPECT_EQ(throttle_wait_ms(*t, "10.0.0.1", now), THROTTLE_MAX_WAIT_MS);
    throttle_succeeded(*t, "10.0.0.1");
    EXPECT_EQ(throttle_wait_ms(*t, "10.0.0.1", now), 0u);
    // A long quiet forgets the count.
    for (int i = 0; i < 4; i++)
        throttle_failed(*t, "10.0.0.3", now);
    now += THROTTLE_FORGET_MS + 1;
    throttle_failed(*t, "10.0.0.3", now);
    EXPECT_EQ(throttle_wait_ms(*t, "10.0.0.3", now), 0u);
}

TEST(AuthThrottle, AFullTableForgetsTheOldestFirst)
{
    auto t = std::make_unique<AuthThrottle>();
    const uint64_t now = 5'000'000;
    for (int i = 0; i < 4; i++)
        throttle_failed(*t, "old", now);
    for (size_t p = 0; p < THROTTLE_PEERS - 1; p++)
        for (int i = 0; i < 4; i++)
            throttle_failed(*t, "peer" + std::to_string(p), now + 1);
    EXPECT_GT(throttle_wait_ms(*t, "old", now), 0u);
    throttle_failed(*t, "newcomer", now + 2);
    EXPECT_EQ(throttle_wait_ms(*t, "old", now), 0u);
    EXPECT_GT(throttle_wait_ms(*t, "peer0", now + 1), 0u);
}

TEST(LogLimiter, AFewLinesAMinuteThenSaysHowManyWereHeld)
{
    LogLimiter l{};
    unsigned suppressed = 0;
    uint64_t now = 1000;
    unsigned passed = 0;
    for (int i = 0; i < 1000; i++)
        passed += log_limiter_pass(l, now + static_cast<uint64_t>(i), &suppressed) ? 1 : 0;
    EXPECT_EQ(passed, LOG_LINES_PER_WINDOW);
    now += LOG_WINDOW_MS;
    EXPECT_TRUE(log_limiter_pass(l, now, &suppressed));
    EXPECT_EQ(suppressed, 1000 - LOG_LINES_PER_WINDOW);
    EXPECT_TRUE(log_limiter_pass(l, now + 1, &suppressed));
    EXPECT_EQ(suppressed, 0u);
}
