// SPDX-License-Identifier: MIT
// A browser's bounded queue.
#include "browser_queue.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace
{

SpectrumFrame frame_with(uint8_t tag)
{
    SpectrumFrame f{};
    f.size = FRAME_HEADER_SIZE;
    f.bytes[0] = tag;
    return f;
}

} // namespace

TEST(BrowserQueue, KeepsTheNewestFramesAndSendsTextsFirst)
{
    auto q = std::make_unique<BrowserQueue>();
    browser_queue_reset(*q);
    for (uint8_t i = 1; i <= BROWSER_FRAMES + 3; i++)
        browser_queue_frame(*q, frame_with(i));
    EXPECT_EQ(q->frames_lost, 3u);
    ASSERT_TRUE(browser_queue_text(*q, "hello"));
    EXPECT_FALSE(browser_queue_text(*q, std::string(BROWSER_TEXT_MAX + 1, 'x')));
    Outgoing out{};
    ASSERT_TRUE(browser_queue_front(*q, out));
    EXPECT_FALSE(out.binary);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.payload), out.len), "hello");
    browser_queue_pop(*q, out);
    for (uint8_t want = 4; want <= BROWSER_FRAMES + 3; want++) {
        ASSERT_TRUE(browser_queue_front(*q, out));
        EXPECT_TRUE(out.binary);
        EXPECT_EQ(out.payload[0], want);
        EXPECT_EQ(out.len, FRAME_HEADER_SIZE);
        browser_queue_pop(*q, out);
    }
    EXPECT_TRUE(browser_queue_empty(*q));
    EXPECT_FALSE(browser_queue_front(*q, out));
}

TEST(BrowserQueue, AirKeepsTheNewestOfEachFrequencyAfterTextsBeforeFrames)
{
    auto q = std::make_unique<BrowserQueue>();
    browser_queue_reset(*q);
    browser_queue_frame(*q, frame_with(1));
    ASSERT_TRUE(browser_queue_air(*q, 2437, "a1"));
    ASSERT_TRUE(browser_queue_air(*q, 5180, "b1"));
    ASSERT_TRUE(browser_queue_air(*q, 2437, "a2")); // replaces a1 in its place
    ASSERT_TRUE(browser_queue_text(*q, "t"));
    EXPECT_FALSE(browser_queue_air(*q, 1, std::string(BROWSER_AIR_MAX + 1, 'x')));
    std::string order;
    Outgoing out{};
    while (browser_queue_front(*q, out)) {
        order += out.binary ? "frame "
                            : std::string(reinterpret_cast<char *>(out.payload), out.len) + " ";
        browser_queue_pop(*q, out);
    }
    EXPECT_EQ(order, "t a2 b1 frame ");
    // Full of other frequencies: the oldest goes.
    for (uint16_t f = 1; f <= BROWSER_AIRS + 1; f++)
        ASSERT_TRUE(browser_queue_air(*q, f, std::to_string(f)));
    EXPECT_EQ(q->airs_lost, 1u);
    ASSERT_TRUE(browser_queue_front(*q, out));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.payload), out.len), "2");
}
