// SPDX-License-Identifier: MIT
// The daemon link against a stand-in rfwatchd. Its times are the test's (now
// is an argument): the retry pace is checked exactly; only waiting for bytes
// on a socket uses the real clock, with a loose bound.
#include "rfwatchd_link.h"

#include "fake_rfwatchd.h"
#include "temp_dir.h"
#include "unix_listen.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int64_t T0 = 5'000'000; // the test's clock, in µs

struct Seen {
    std::vector<std::string> lines;
    std::vector<LinkChange> changes;
    std::vector<std::pair<uint64_t, bool>> done; // tag, sent
};

LinkSink sink_to(Seen &s)
{
    return {
        &s,
        [](void *c, std::string_view line) { static_cast<Seen *>(c)->lines.emplace_back(line); },
        [](void *c, LinkChange change, int) { static_cast<Seen *>(c)->changes.push_back(change); },
        [](void *c, const LinkCommand &cmd, bool sent) {
            static_cast<Seen *>(c)->done.emplace_back(cmd.tag, sent);
        }};
}

// Polls and handles the link at test time now until done() or 20 s.
bool pump(DaemonLink &l, int64_t now, const std::function<bool()> &done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        pollfd p{link_fd(l), link_events(l), 0};
        if (poll(&p, 1, 50) < 0)
            return false;
        link_handle(l, p.revents, now);
    }
    return true;
}

std::string joined(const std::vector<wdtest::FakeRfwatchd::Read> &reads)
{
    std::string all;
    for (const auto &r : reads)
        all += r.bytes;
    return all;
}

} // namespace

TEST(RfwatchdLink, RetriesEverySecondSplitsLinesQueuesEightAndReconnects)
{
    wdtest::TempDir dir("rfwatchd-link");
    const std::string path = dir.path() + "/d.sock";
    auto l = std::make_unique<DaemonLink>();
    Seen seen;
    link_init(*l, path, sink_to(seen));

    // Absent: tried at once, then once a second, reported once per outage.
    link_handle(*l, 0, T0);
    link_handle(*l, 0, T0 + LINK_RETRY_US);
    EXPECT_EQ(link_submit(*l, "{}", 0), LinkSubmit::NotConnected);
    wdtest::FakeRfwatchd daemon;
    ASSERT_TRUE(daemon.start(path));
    link_handle(*l, 0, T0 + 2 * LINK_RETRY_US - 1);
    EXPECT_FALSE(link_connected(*l)) << "tried before its time";
    EXPECT_EQ(link_deadline(*l), T0 + 2 * LINK_RETRY_US);
    link_handle(*l, 0, T0 + 2 * LINK_RETRY_US);
    ASSERT_TRUE(link_connected(*l));
    EXPECT_EQ(seen.changes, (std::vector{LinkChange::Unreachable, LinkChange::Connected}));

    // Lines across reads; one over the limit skipped and counted.
    ASSERT_TRUE(daemon.wait_clients(1, 20000));
    ASSERT_TRUE(daemon.send("a\nb"));
    ASSERT_TRUE(daemon.send("c\n" + std::string(LINE_MAX_BYTES + 1, 'x') + "\nd\n"));
    ASSERT_TRUE(pump(*l, T0, [&] { return seen.lines.size() == 3; }));
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_EQ(l->lines_in.overlongs, 1u);

    // Eight wait, a ninth is refused; all go in order, each ended by "\n"
    // (one written with a line feed of its own keeps it one line).
    std::string expected;
    for (uint64_t i = 0; i < LINK_COMMANDS; i++) {
        const std::string cmd = "{\"command\":3,\n\"n\":" + std::to_string(i) + "}";
        EXPECT_EQ(link_submit(*l, cmd, i), LinkSubmit::Queued);
        expected += "{\"command\":3, \"n\":" + std::to_string(i) + "}\n";
    }
    EXPECT_EQ(link_submit(*l, "{}", 99), LinkSubmit::QueueFull);
    ASSERT_TRUE(pump(*l, T0, [&] { return seen.done.size() == LINK_COMMANDS; }));
    for (uint64_t i = 0; i < LINK_COMMANDS; i++)
        EXPECT_EQ(seen.done[i], std::make_pair(i, true));
    ASSERT_TRUE(daemon.wait_reads(1, 20000));
    ASSERT_TRUE(pump(*l, T0, [&] { return joined(daemon.reads()).size() >= expected.size(); }));
    EXPECT_EQ(joined(daemon.reads()), expected);
    EXPECT_EQ(link_submit(*l, std::string(LINK_COMMAND_MAX_BYTES, ' '), 0), LinkSubmit::TooLong);

    // The daemon goes: the loss is reported, and a second later the link
    // is back on the next daemon.
    daemon.stop();
    const int64_t lost_at = T0 + 10 * LINK_RETRY_US;
    ASSERT_TRUE(pump(*l, lost_at, [&] { return !link_connected(*l); }));
    EXPECT_EQ(seen.changes.back(), LinkChange::Closed);
    EXPECT_EQ(link_deadline(*l), lost_at + LINK_RETRY_US);
    wdtest::FakeRfwatchd again;
    ASSERT_TRUE(again.start(path));
    link_handle(*l, 0, lost_at + LINK_RETRY_US);
    EXPECT_TRUE(link_connected(*l));
    EXPECT_EQ(seen.changes.back(), LinkChange::Connected);
    link_close(*l);
}

// A daemon that does not read: the socket takes part of the queue, the rest
// (a command cut anywhere) follows on later writable events, and a loss
// hands back what was never written.
TEST(RfwatchdLink, APartialWriteIsResumedAndALossReturnsTheRest)
{
    wdtest::TempDir dir("rfwatchd-link");
    const std::string path = dir.path() + "/d.sock";
    const int listener = wdtest::listen_unix_stream(path);
    ASSERT_GE(listener, 0);
    auto l = std::make_unique<DaemonLink>();
    Seen seen;
    link_init(*l, path, sink_to(seen));
    ASSERT_TRUE(link_connect(*l, T0)); // waits in the backlog, never read yet
    const int small = 1;               // the kernel's minimum, a few KiB
    ASSERT_EQ(setsockopt(link_fd(*l), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);

    std::string expected;
    for (uint64_t i = 0; i < LINK_COMMANDS; i++) {
        const std::string cmd =
            "{\"command\":3,\"pad\":\"" + std::string(1500, static_cast<char>('a' + i)) + "\"}";
        ASSERT_EQ(link_submit(*l, cmd, i), LinkSubmit::Queued);
        expected += cmd + "\n";
    }
    link_handle(*l, POLLOUT, T0);
    ASSERT_LT(seen.done.size(), LINK_COMMANDS) << "the socket took everything";
    ASSERT_TRUE(seen.done.size() > 0 || l->head_written > 0) << "the socket took nothing";

    const int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    std::string got;
    ASSERT_TRUE(pump(*l, T0, [&] {
        char buf[65536];
        const ssize_t n = recv(peer, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
        return got.size() >= expected.size();
    }));
    EXPECT_EQ(got, expected);
    ASSERT_EQ(seen.done.size(), LINK_COMMANDS);
    for (uint64_t i = 0; i < LINK_COMMANDS; i++)
        EXPECT_EQ(seen.done[i], std::make_pair(i, true));

    // Queued, then the daemon goes: the command comes back unsent.
    ASSERT_EQ(link_submit(*l, "{\"command\":3}", 42), LinkSubmit::Queued);
    close(peer);
    link_handle(*l, POLLIN | POLLOUT, T0);
    EXPECT_FALSE(link_connected(*l));
    EXPECT_EQ(seen.done.back(), std::make_pair(uint64_t{42}, false));
    EXPECT_EQ(seen.changes.back(), LinkChange::Closed);
    close(listener);
}
