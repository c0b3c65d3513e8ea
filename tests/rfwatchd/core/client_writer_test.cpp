// SPDX-License-Identifier: MIT
// The write guard is what keeps one stalled client from freezing the
// daemon for all others: a stalled client is given up and never sees half
// a line (what the waits cost in real time, and reading clients:
// client_writer_reader_test.cpp).
#include "client_pair.h"
#include "core/client_writer.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

std::string drain(int fd)
{
    std::string all;
    char buf[65536];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0)
            return all;
        all.append(buf, static_cast<size_t>(n));
    }
}

} // namespace

TEST(ClientWriter, AStalledClientIsGivenUpAndGetsNoHalfLine)
{
    // On the test clock no time passes: the writer waits one real poll of
    // the budget, finds no room and gives up.
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    std::string line(3000, 'y');
    LineWrite r = LINE_SENT;
    int sent = 0;
    uint32_t budget = WRITE_STALL_LIMIT_MS;
    while (sent < 100000) {
        r = write_client_line(p.daemon_end, line, &budget, nullptr);
        if (r != LINE_SENT)
            break;
        sent++;
    }
    ASSERT_EQ(r, LINE_STALLED);
    EXPECT_GT(sent, 10);
    std::string got = drain(p.client_end);
    EXPECT_EQ(got.size(), static_cast<size_t>(sent) * (line.size() + 1));
    EXPECT_EQ(got.back(), '\n');
    // With room again the same client takes whole lines once more.
    budget = WRITE_STALL_LIMIT_MS;
    EXPECT_EQ(write_client_line(p.daemon_end, line, &budget, nullptr), LINE_SENT);
    EXPECT_EQ(drain(p.client_end), line + "\n");
}

TEST(ClientWriter, AVanishedClientIsBroken)
{
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    close(p.client_end);
    p.client_end = -1;
    uint32_t budget = WRITE_STALL_LIMIT_MS;
    EXPECT_EQ(write_client_line(p.daemon_end, "{}", &budget, nullptr), LINE_BROKEN);
}

TEST(ClientWriter, OtherErrorsAreReported)
{
    int fd = open("/dev/null", O_WRONLY);
    ASSERT_GE(fd, 0);
    int err = 0;
    uint32_t budget = WRITE_STALL_LIMIT_MS;
    EXPECT_EQ(write_client_line(fd, "{}", &budget, &err), LINE_FAILED);
    EXPECT_EQ(err, ENOTSOCK);
    close(fd);
}
