// The write guard is what keeps one stalled client from freezing the
// daemon for all others, so pin both sides: reading clients get every
// line whole, stalled ones cost a bounded wait and never see half a line.
#include "client_writer.h"
#include "clock.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

struct Pair {
    int daemon_end = -1, client_end = -1;
    Pair()
    {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0) {
            daemon_end = sv[0];
            client_end = sv[1];
            fcntl(daemon_end, F_SETFL, fcntl(daemon_end, F_GETFL) | O_NONBLOCK);
        }
    }
    ~Pair()
    {
        if (daemon_end >= 0)
            close(daemon_end);
        if (client_end >= 0)
            close(client_end);
    }
};

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

TEST(ClientWriter, AReadingClientGetsEveryLineWhole)
{
    Pair p;
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
    for (int i = 0; i < lines; i++)
        sent += write_client_line(p.daemon_end, line, WRITE_STALL_LIMIT_MS, nullptr) == LINE_SENT;
    shutdown(p.daemon_end, SHUT_WR);
    reader.join();
    EXPECT_EQ(sent, lines);
    ASSERT_EQ(got.size(), static_cast<size_t>(lines) * (line.size() + 1));
    for (int i = 0; i < lines; i++)
        ASSERT_EQ(got[static_cast<size_t>(i) * (line.size() + 1) + line.size()], '\n') << i;
}

TEST(ClientWriter, AStalledClientCostsTheLimitAndGetsNoHalfLine)
{
    Pair p;
    ASSERT_GE(p.daemon_end, 0);
    std::string line(3000, 'y');
    LineWrite r = LINE_SENT;
    int sent = 0;
    uint64_t stalled_for = 0;
    while (sent < 100000) {
        uint64_t t0 = monotonic_ms();
        r = write_client_line(p.daemon_end, line, WRITE_STALL_LIMIT_MS, nullptr);
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
    std::string got = drain(p.client_end);
    EXPECT_EQ(got.size(), static_cast<size_t>(sent) * (line.size() + 1));
    EXPECT_EQ(got.back(), '\n');
}

TEST(ClientWriter, AVanishedClientIsBroken)
{
    Pair p;
    ASSERT_GE(p.daemon_end, 0);
    close(p.client_end);
    p.client_end = -1;
    EXPECT_EQ(write_client_line(p.daemon_end, "{}", WRITE_STALL_LIMIT_MS, nullptr), LINE_BROKEN);
}

TEST(ClientWriter, OtherErrorsAreReported)
{
    int fd = open("/dev/null", O_WRONLY);
    ASSERT_GE(fd, 0);
    int err = 0;
    EXPECT_EQ(write_client_line(fd, "{}", WRITE_STALL_LIMIT_MS, &err), LINE_FAILED);
    EXPECT_EQ(err, ENOTSOCK);
    close(fd);
}
