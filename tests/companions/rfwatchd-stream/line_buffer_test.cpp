// SPDX-License-Identifier: MIT
// The bounded line splitter every reader of rfwatchd's stream uses.
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
