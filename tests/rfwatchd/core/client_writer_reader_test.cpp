// SPDX-License-Identifier: MIT
// The writer against real time: a client that keeps reading, however
// slowly, receives every line whole, and a stall costs about its budget
// once per flush. The readers run beside the writer, and qemu-user (the
// arm64 unit-test runner) hangs on threads here, so these run with the
// native component tests. Times are bounded loosely: each bound lies many
// times above the right behaviour and below the wrong one.
#include "base/clock.h"
#include "client_pair.h"
#include "core/client_writer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

TEST(ClientWriter, AReadingClientGetsEveryLineWhole)
{
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    std::string line(4500, 'x'); // about a 512-bin message
    std::string got;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = read(p.client_end, buf, sizeof buf)) > 0) {
            got.append(buf, static_cast<size_t>(n));
            usleep(50); // slower than the writer, so the buffer fills now and then
        }
    });
    const int lines = 2000; // ~9 MB, far more than a socket buffer holds
    int sent = 0;
    for (int i = 0; i < lines; i++) {
        uint32_t budget = WRITE_STALL_LIMIT_MS; // a flush of one line each
        sent += write_client_line(p.daemon_end, line, &budget, nullptr) == LINE_SENT;
    }
    shutdown(p.daemon_end, SHUT_WR);
    reader.join();
    // A reader starved of the processor for a whole budget looks stalled,
    // and that line is given up; on a loaded machine that may happen. What
    // must always hold: every line sent arrived whole, and nothing else.
    EXPECT_GT(sent, lines / 2);
    ASSERT_EQ(got.size(), static_cast<size_t>(sent) * (line.size() + 1));
    for (int i = 0; i < sent; i++)
        ASSERT_EQ(got[static_cast<size_t>(i) * (line.size() + 1) + line.size()], '\n') << i;
}

TEST(ClientWriter, ASlowBurstyReaderCostsOneBudgetPerFlush)
{
    // The client drains 64 KiB every 30 ms: each single wait is short, but
    // a long flush must not wait on it much longer than one budget in all.
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char buf[65536];
        while (!done.load()) {
            usleep(30000);
            (void)!recv(p.client_end, buf, sizeof buf, MSG_DONTWAIT);
        }
    });
    std::string line(4500, 'w');
    uint32_t budget = WRITE_STALL_LIMIT_MS;
    uint64_t t0 = monotonic_ms();
    LineWrite r = LINE_SENT;
    for (int i = 0; i < 2000 && r == LINE_SENT; i++)
        r = write_client_line(p.daemon_end, line, &budget, nullptr);
    uint64_t took = monotonic_ms() - t0;
    done = true;
    reader.join();
    EXPECT_EQ(r, LINE_STALLED);
    EXPECT_EQ(budget, 0u);
    // A budget per line would let the 2000 lines (9 MB at 64 KiB per 30 ms)
    // take over 4 s.
    EXPECT_LT(took, 2000u);
}

TEST(ClientWriter, AStallCostsItsBudgetOnce)
{
    ClientPair p;
    ASSERT_GE(p.daemon_end, 0);
    std::string line(3000, 'y');
    uint32_t budget = WRITE_STALL_LIMIT_MS;
    int sent = 0;
    while (sent < 100000 && write_client_line(p.daemon_end, line, &budget, nullptr) == LINE_SENT)
        sent++;
    ASSERT_LT(sent, 100000);
    EXPECT_EQ(budget, 0u);
    // The budget spent, each further line gives up without waiting: ten of
    // them would take a second if each waited the limit again.
    uint64_t t0 = monotonic_ms();
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(write_client_line(p.daemon_end, line, &budget, nullptr), LINE_STALLED);
    EXPECT_LT(monotonic_ms() - t0, 500u);
}
