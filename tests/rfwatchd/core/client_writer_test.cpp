// The write guard is what keeps one stalled client from freezing the
// daemon for all others: a stalled client costs a bounded wait and never
// sees half a line (reading clients: client_writer_reader_test.cpp).
#include "client_pair.h"
#include "client_writer.h"
#include "clock.h"

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

TEST(ClientWriter, AStalledClientCostsTheLimitAndGetsNoHalfLine)
{
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    std::string line(3000, 'y');
    LineWrite r = LINE_SENT;
    int sent = 0;
    uint64_t stalled_for = 0;
    uint32_t budget = WRITE_STALL_LIMIT_MS;
    while (sent < 100000) {
        uint64_t t0 = monotonic_ms();
        r = write_client_line(p.daemon_end, line, &budget, nullptr);
        if (r != LINE_SENT) {
            stalled_for = monotonic_ms() - t0;
            break;
        }
        sent++;
    }
    ASSERT_EQ(r, LINE_STALLED);
    EXPECT_GT(sent, 10);
    EXPECT_GE(stalled_for, 95u);
    EXPECT_LT(stalled_for, 400u);
    EXPECT_EQ(budget, 0u);
    std::string got = drain(p.client_end);
    EXPECT_EQ(got.size(), static_cast<size_t>(sent) * (line.size() + 1));
    EXPECT_EQ(got.back(), '\n');
}

TEST(ClientWriter, AnExhaustedBudgetWaitsNoMore)
{
    // Once the flush has spent the client's budget, a full socket gives up
    // at once, however many lines are left.
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    std::string line(3000, 'z');
    uint32_t budget = 0;
    int sent = 0;
    while (sent < 100000 && write_client_line(p.daemon_end, line, &budget, nullptr) == LINE_SENT)
        sent++;
    uint64_t t0 = monotonic_ms();
    EXPECT_EQ(write_client_line(p.daemon_end, line, &budget, nullptr), LINE_STALLED);
    EXPECT_LT(monotonic_ms() - t0, 50u);
    EXPECT_GT(sent, 10);
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
