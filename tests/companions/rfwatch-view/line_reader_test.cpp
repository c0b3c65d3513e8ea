// Splitting the socket's bytes into lines, across reads and past a line
// too long to buffer.
#include "line_reader.h"

#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

TEST(LineReader, JoinsLinesAcrossReadsAndDropsOverlongOnes)
{
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    LineReader r;
    std::vector<std::string> got;
    auto each = [&](std::string_view l) { got.emplace_back(l); };
    auto feed = [&](const std::string &bytes) {
        ASSERT_EQ(write(p[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ASSERT_TRUE(read_lines(p[0], r, each));
    };
    feed("one\ntw");
    feed("o\n\nthree");
    EXPECT_EQ(got, (std::vector<std::string>{"one", "two", ""}));
    EXPECT_EQ(r.pending, "three");

    got.clear();
    feed("\n");
    const std::string chunk(60000, 'x');
    for (size_t sent = 0; sent <= MAX_LINE_BYTES; sent += chunk.size())
        feed(chunk);
    feed("tail\nafter\n");
    EXPECT_EQ(got, (std::vector<std::string>{"three", "after"}));
    EXPECT_EQ(r.overlong, 1);

    close(p[1]);
    EXPECT_FALSE(read_lines(p[0], r, each));
    close(p[0]);
}
