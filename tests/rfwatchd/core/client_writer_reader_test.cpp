// A client that keeps reading, however slowly, must receive every line
// whole. This needs a reader running beside the writer, and qemu-user (the
// arm64 unit-test runner) hangs on threads here, so it runs with the
// native component tests.
#include "client_pair.h"
#include "client_writer.h"

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
    for (int i = 0; i < lines; i++)
        sent += write_client_line(p.daemon_end, line, WRITE_STALL_LIMIT_MS, nullptr) == LINE_SENT;
    shutdown(p.daemon_end, SHUT_WR);
    reader.join();
    EXPECT_EQ(sent, lines);
    ASSERT_EQ(got.size(), static_cast<size_t>(lines) * (line.size() + 1));
    for (int i = 0; i < lines; i++)
        ASSERT_EQ(got[static_cast<size_t>(i) * (line.size() + 1) + line.size()], '\n') << i;
}
