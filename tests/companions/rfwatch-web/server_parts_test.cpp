// The server's bounded buffers: the line splitter and a browser's queue.
#include "browser_queue.h"
#include "line_buffer.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

void collect(void *context, std::string_view line)
{
    static_cast<std::vector<std::string> *>(context)->emplace_back(line);
}

void feed(LineBuffer &b, const std::string &s, std::vector<std::string> &out)
{
    line_buffer_feed(b, std::span<const char>(s.data(), s.size()), collect, &out);
}

SpectrumFrame frame_with(uint8_t tag)
{
    SpectrumFrame f{};
    f.size = FRAME_HEADER_SIZE;
    f.bytes[0] = tag;
    return f;
}

} // namespace

TEST(LineBuffer, SplitsAcrossReadsAndSkipsOverlongLines)
{
    auto b = std::make_unique<LineBuffer>();
    line_buffer_reset(*b);
    b->overlongs = 0;
    std::vector<std::string> lines;
    feed(*b, "ab", lines);
    feed(*b, "c\nd\n\ne", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"abc", "d", ""}));
    // An overlong line is dropped whole, even when its end comes later;
    // the line after it is intact.
    feed(*b, std::string(LINE_MAX_BYTES, 'x'), lines);
    feed(*b, "yy\nok\n", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"abc", "d", "", "ok"}));
    EXPECT_EQ(b->overlongs, 1u);
    // Exactly the buffer's size still fits.
    lines.clear();
    feed(*b, std::string(LINE_MAX_BYTES, 'z') + "\n", lines);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), LINE_MAX_BYTES);
}

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
