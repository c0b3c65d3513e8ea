// SPDX-License-Identifier: MIT
// Clients against real Unix sockets, with the real set-up, sample source
// and aggregation: what each client receives, when, and how clients that
// hang up, stop reading or send commands are handled.
#include "core/command_parse.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"
#include "test_clock.h"
#include "test_server.h"

#include <algorithm>
#include <cJSON.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace coretest;

namespace
{

struct Line {
    int detector = -1, freq = -1, count = -1, bins = -1;
};

Line parse_line(const std::string &text)
{
    Line l;
    cJSON *doc = cJSON_Parse(text.c_str());
    if (!doc)
        return l;
    auto num = [&](const char *k) {
        cJSON *i = cJSON_GetObjectItemCaseSensitive(doc, k);
        return cJSON_IsNumber(i) ? static_cast<int>(i->valuedouble) : -1;
    };
    l.detector = num("detector");
    l.freq = num("freq_mhz");
    l.count = num("num_aggregated");
    cJSON *bins = cJSON_GetObjectItemCaseSensitive(doc, "bins");
    l.bins = cJSON_IsArray(bins) ? cJSON_GetArraySize(bins) : -1;
    cJSON_Delete(doc);
    return l;
}

// A test-side client that keeps what it has read and when.
struct Reader {
    int fd = -1;
    std::string buf;
    std::vector<std::pair<uint64_t, Line>> lines; // arrival time, content
    bool eof = false;
    void pump()
    {
        bool e = false;
        buf += drain(fd, &e);
        eof = eof || e;
        uint64_t t = now_ms();
        for (auto &l : take_lines(buf))
            lines.push_back({t, parse_line(l)});
    }
    // Distinct arrival batches: the test-clock times at which lines came.
    std::vector<uint64_t> batches() const
    {
        std::vector<uint64_t> b;
        for (auto &[t, l] : lines)
            if (b.empty() || t != b.back())
                b.push_back(t);
        return b;
    }
    ~Reader()
    {
        if (fd >= 0)
            close(fd);
    }
};

} // namespace

TEST(Clients, EachClientGetsOneLinePerFrequencyEveryPeriod)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2412, 2437}));
    Reader a, b;
    a.fd = ts.connect_client();
    b.fd = ts.connect_client();
    ASSERT_TRUE(ts.run_for(650, [&] {
        a.pump();
        b.pump();
    }));
    EXPECT_EQ(ts.server().client_count, 2);
    uint64_t accepted = wdtest::TEST_CLOCK_START_MS;
    for (Reader *r : {&a, &b}) {
        // One connection is accepted a pass, and flushed every 100 ms after.
        accepted += PASS_MS;
        auto batches = r->batches();
        ASSERT_EQ(batches.size(), 6u);
        EXPECT_EQ(batches[0], accepted + 100);
        for (size_t i = 1; i < batches.size(); i++)
            EXPECT_EQ(batches[i] - batches[i - 1], 100u);
        std::set<int> freqs;
        for (auto &[t, l] : r->lines) {
            freqs.insert(l.freq);
            EXPECT_EQ(l.detector, 0);
            EXPECT_EQ(l.bins, 64);
            EXPECT_GT(l.count, 0);
        }
        EXPECT_EQ(freqs, (std::set<int>{2412, 2437}));
        EXPECT_EQ(r->lines.size(), 2 * batches.size());
    }
}

TEST(Clients, NothingIsSentWithoutSamples)
{
    START_TEST_SERVER(ts);
    Reader a;
    a.fd = ts.connect_client();
    ASSERT_TRUE(ts.run_for(150, [&] { a.pump(); }));
    EXPECT_TRUE(a.lines.empty());
    EXPECT_EQ(ts.server().client_count, 1);
}

TEST(Clients, HangUpDropsTheClientAndAHalfCloseKeepsItReading)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2412}));
    int a = ts.connect_client();
    Reader b;
    b.fd = ts.connect_client();
    ASSERT_TRUE(ts.run_for(20));
    ASSERT_EQ(ts.server().client_count, 2);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    // A command sent just before closing is not carried out.
    send_text(a, R"({"command":1,"aggregation_period_ms":500})");
    close(a);
    shutdown(b.fd, SHUT_WR); // end of its commands, but it still reads
    b.pump();
    size_t before = b.lines.size();
    ASSERT_TRUE(ts.run_for(300, [&] { b.pump(); }));
    EXPECT_EQ(ts.server().client_count, 1);
    EXPECT_GE(b.lines.size(), before + 2);
    EXPECT_FALSE(b.eof);
    close(b.fd);
    b.fd = -1;
    ASSERT_TRUE(ts.run_for(20));
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    // Both seen by the poll, neither by a failing write.
    EXPECT_EQ(err, "Client disconnected (POLLHUP)\nClient disconnected (POLLHUP)\n");
    EXPECT_EQ(out.find("Aggregation"), std::string::npos) << out;
    EXPECT_EQ(ts.server().client_count, 0);
    EXPECT_EQ(first_client(ts.server()), nullptr);
}

TEST(Clients, SetAggregationGivesOneBatchASecond)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2412}));
    Reader slow, fast;
    slow.fd = ts.connect_client();
    fast.fd = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    testing::internal::CaptureStdout();
    send_text(slow.fd, R"({"command":1,"aggregation_period_ms":1000})");
    ASSERT_TRUE(ts.run_for(2150, [&] {
        slow.pump();
        fast.pump();
    }));
    std::string out = testing::internal::GetCapturedStdout();
    Client *c = first_client(ts.server());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(out, "Aggregation for client " + std::to_string(c->socket) + " changed to 1000 ms\n");
    EXPECT_EQ(c->aggregates[0].period_ms, 1000u);
    EXPECT_EQ(c->aggregates[1].period_ms, 1000u);
    EXPECT_EQ(slow.batches().size(), 2u);
    EXPECT_EQ(fast.batches().size(), 21u);
    // A second's samples are merged into one line.
    for (auto &[t, l] : slow.lines)
        EXPECT_GT(l.count, 5 * fast.lines.front().second.count);
}

TEST(Clients, EveryClientsCommandsAndHangUpAreRead)
{
    START_TEST_SERVER(ts);
    constexpr int N = 20;
    int fds[N];
    for (int &fd : fds) { // one connection is accepted a pass
        fd = ts.connect_client();
        ASSERT_TRUE(ts.pass());
    }
    ASSERT_EQ(ts.server().client_count, N);
    testing::internal::CaptureStdout();
    for (int i = 0; i < N; i++)
        send_text(fds[i],
                  R"({"command":1,"aggregation_period_ms":)" + std::to_string(200 + i) + "}");
    ASSERT_TRUE(ts.pass());
    std::string out = testing::internal::GetCapturedStdout();
    int i = 0;
    for (Client *c = first_client(ts.server()); c; c = next_client(ts.server(), c), i++) {
        EXPECT_EQ(c->aggregates[0].period_ms, static_cast<uint32_t>(200 + i)) << i;
        EXPECT_NE(out.find("Aggregation for client " + std::to_string(c->socket) + " changed to " +
                           std::to_string(200 + i) + " ms\n"),
                  std::string::npos)
            << i << out;
    }
    // The newest client's hang-up is seen by the poll, without samples
    // that would make a write to it fail.
    testing::internal::CaptureStderr();
    close(fds[N - 1]);
    ASSERT_TRUE(ts.pass());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Client disconnected (POLLHUP)\n");
    EXPECT_EQ(ts.server().client_count, N - 1);
    for (int k = 0; k < N - 1; k++)
        close(fds[k]);
}

TEST(Clients, ConnectionsWithoutDescriptorsOrBeyondTheCapAreRefusedWithOneLine)
{
    START_TEST_SERVER(ts);
    // Out of descriptors: the connection stays pending, the listener rests,
    // and the failure is said once for the episode.
    std::vector<int> fds{ts.connect_client()};
    testing::internal::CaptureStderr();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = static_cast<rlim_t>(open("/dev/null", O_RDONLY)); // the lowest free one
    close(static_cast<int>(none.rlim_cur));
    ts.server().last_sample_ms = now_ms(); // no re-arm (a file) in these passes
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    bool passed = true;
    for (int i = 0; i < 7 && passed; i++) // past the rest, so accept is tried again
        passed = ts.pass();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(passed) << err;
    size_t first = err.find("Accept error: Too many open files\n");
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.rfind("Accept error"), first) << err;
    ASSERT_TRUE(ts.run_until(500, [&] { return ts.server().client_count == 1; }));

    // Beyond the cap: accepted and closed at once, said once.
    testing::internal::CaptureStderr();
    while (fds.size() < MAX_CLIENTS + 3) {
        fds.push_back(ts.connect_client());
        ASSERT_TRUE(ts.pass());
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Client limit of " +
                                                          std::to_string(MAX_CLIENTS) +
                                                          " reached, refusing connections\n");
    EXPECT_EQ(ts.server().client_count, MAX_CLIENTS);
    bool eof = false;
    drain(fds.back(), &eof);
    EXPECT_TRUE(eof);
    for (int fd : fds)
        close(fd);
}

TEST(Clients, AStalledClientIsDroppedAndTheOthersKeepReceiving)
{
    START_TEST_SERVER(ts, 512);
    // Eight 512-bin frequencies: a batch fits in a socket buffer, but a
    // client that never reads fills it within a few batches.
    std::vector<uint16_t> freqs;
    for (uint16_t f = 2412; f < 2412 + 8; f++)
        freqs.push_back(f);
    ts.set_samples(reports_at(freqs, 20, 512));
    Reader good;
    good.fd = ts.connect_client();
    int stalled = ts.connect_client(); // never read until the end
    ASSERT_TRUE(ts.run_for(10));
    ASSERT_EQ(ts.server().client_count, 2);
    int stalled_num = -1;
    for (Client *c = first_client(ts.server()); c; c = next_client(ts.server(), c))
        stalled_num = c->socket; // the newer one
    testing::internal::CaptureStderr();
    ASSERT_TRUE(ts.run_for(1000, [&] { good.pump(); }));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ts.server().client_count, 1);
    EXPECT_NE(err.find("Client " + std::to_string(stalled_num) + " not reading, dropped\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("dropped"), err.rfind("dropped")) << err; // the reader never was
    // The reading client got every frequency in every one of the ten batches.
    EXPECT_TRUE(good.buf.empty()); // nothing but whole lines
    EXPECT_EQ(good.batches().size(), 10u);
    std::map<int, int> per_freq;
    for (auto &[t, l] : good.lines) {
        EXPECT_EQ(l.bins, 512);
        per_freq[l.freq]++;
    }
    ASSERT_EQ(per_freq.size(), freqs.size());
    for (auto &[f, n] : per_freq)
        EXPECT_EQ(n, 10) << f;
    // The stalled one holds only whole lines, then the end of the stream.
    bool eof = false;
    std::string got = drain(stalled, &eof);
    EXPECT_TRUE(eof);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), '\n');
    for (auto &l : take_lines(got))
        EXPECT_EQ(parse_line(l).bins, 512);
    close(stalled);
}

TEST(Clients, TeardownClosesEveryClientAndStopsTheScan)
{
    START_TEST_SERVER(ts);
    Reader a, b;
    a.fd = ts.connect_client();
    b.fd = ts.connect_client();
    ASSERT_TRUE(ts.run_for(20));
    testing::internal::CaptureStderr();
    ts.teardown();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ts.server().client_count, 0);
    for (Reader *r : {&a, &b}) {
        r->pump();
        EXPECT_TRUE(r->eof);
    }
    EXPECT_EQ(ts.read("spectral_scan_ctl"), "disable");
}

TEST(Commands, ParseErrorsAndIgnoredCommandsKeepTheClient)
{
    START_TEST_SERVER(ts);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    send_text(a, "{\"command\": 1, oops}");
    ASSERT_TRUE(ts.run_for(10));
    send_text(a, R"({"command":4})");
    ASSERT_TRUE(ts.run_for(10));
    send_text(a, R"({"command":1,"aggregation_period_ms":0.5})");
    ASSERT_TRUE(ts.run_for(10));
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    // The text from where parsing stopped.
    size_t at = err.find("Command parse error: ");
    ASSERT_NE(at, std::string::npos) << err;
    std::string rest = err.substr(at + 21, err.find('\n', at) - at - 21);
    std::string sent = "{\"command\": 1, oops}";
    EXPECT_FALSE(rest.empty());
    EXPECT_EQ(sent.substr(sent.size() - rest.size()), rest);
    // Control bytes and a terminal escape come out escaped; each line of a
    // read is a command of its own, so each has its own message.
    testing::internal::CaptureStderr();
    send_text(a, "oops\r\nbad\x1b[2J\x7f\n");
    ASSERT_TRUE(ts.run_for(10));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Command parse error: oops\\x0d\nCommand parse error: bad\\x1b[2J\\x7f\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(ts.server().client_count, 1);
    close(a);
}

// A read holds commands ended by line feeds, taken in order; a read
// without one is one command, as it always was (only its first value
// counts); a command a writer was cut short in waits for its rest.
TEST(Commands, ALineFeedEndsEachCommandOfARead)
{
    START_TEST_SERVER(ts);
    auto period = [](int ms) {
        return R"({"command":1,"aggregation_period_ms":)" + std::to_string(ms) + "}";
    };
    // A line of n bytes (without its line feed) setting ms.
    auto padded = [&](int ms, size_t n) {
        return period(ms) + std::string(n - period(ms).size(), ' ');
    };
    std::string many;
    std::vector<int> many_taken;
    for (int i = 0; i < 120; i++) {
        many += period(1000 + i) + "\n";
        many_taken.push_back(1000 + i);
    }
    ASSERT_GT(many.size(), 4096u); // a line is cut by the read's size
    const struct {
        std::vector<std::string> reads; // each taken by one read; "" shuts the writing side
        std::vector<int> taken;         // periods set, in order
        int parse_errors;
    } cases[] = {
        // A read without a line feed is one command.
        {{period(101), period(102) + period(103)}, {101, 102}, 0},
        {{period(104) + "\n"}, {104}, 0},
        {{period(105) + "\n" + period(106) + "\n" + period(107) + "\n"}, {105, 106, 107}, 0},
        {{period(108) + "\r\n\n  \n" + period(109)}, {108, 109}, 0}, // blank lines, a tail
        {{period(110) + period(111) + "\n" + period(112)}, {110, 112}, 0},
        {{period(113) + "\n{\"command\":1,\n" + period(114) + "\n"}, {113, 114}, 1},
        {{period(0) + "\n" + R"({"command":4})" + "\n" + period(115) + "\n"}, {115}, 0},
        // A writer cut short: the command is taken once, whole, when its
        // rest comes (with its line feed or without), or at the end.
        {{period(116) + "\n{\"command\":1,\"aggrega", "tion_period_ms\":117}\n"}, {116, 117}, 0},
        {{period(118) + "\n{\"command\":1,\"aggregation_period_ms\":1", "19}"}, {118, 119}, 0},
        {{period(120) + "\n[" + period(121), ""}, {120}, 1},
        // A rest never completed: a whole command written next is one of
        // its own; anything else completes it.
        {{period(122) + "\n{oops", period(123)}, {122, 123}, 1},
        {{period(124) + "\n{oops", "}" + period(127) + "\n"}, {124}, 1},
        // Cut by the read's size, and a line as long as a read.
        {{many}, many_taken, 0},
        {{period(125) + "\n" + padded(126, 4096) + "\n"}, {125, 126}, 0},
    };
    for (const auto &c : cases) {
        int a = ts.connect_client();
        ASSERT_TRUE(ts.run_for(10));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        for (const std::string &r : c.reads) {
            if (r.empty())
                shutdown(a, SHUT_WR);
            else
                send_text(a, r);
            ASSERT_TRUE(ts.run_for(10));
        }
        std::string out = testing::internal::GetCapturedStdout();
        std::vector<int> taken;
        for (size_t at = out.find(" changed to "); at != std::string::npos;
             at = out.find(" changed to ", at + 1))
            taken.push_back(std::stoi(out.substr(at + 12)));
        EXPECT_EQ(taken, c.taken) << c.reads[0].substr(0, 200);
        std::string err = testing::internal::GetCapturedStderr();
        int errors = 0;
        for (size_t at = err.find("Command parse error"); at != std::string::npos;
             at = err.find("Command parse error", at + 1))
            errors++;
        EXPECT_EQ(errors, c.parse_errors) << c.reads[0].substr(0, 200) << err;
        close(a);
        ASSERT_TRUE(ts.run_for(10));
    }
}

TEST(Commands, AFailedSweepStartRestoresTheSavedSettings)
{
    START_TEST_SERVER(ts);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    int num = first_client(ts.server())->socket;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    // The monitor cannot be brought up here, so the engine refuses.
    send_text(a, R"({"command":2,"sweep_from":2400,"sweep_to":2500})");
    ASSERT_TRUE(ts.run_for(10));
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Sweep for client " + std::to_string(num) +
                       ": 2400-2500 MHz, duration=0 s, dwell=1000 ms\n");
    EXPECT_NE(err.find("Setting chan_bw to: 0\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Failed to start sweep: "), std::string::npos) << err;
    EXPECT_EQ(ts.server().client_sweep.saved.chan_bw, 5);
    EXPECT_EQ(ts.server().client_sweep.saved.freq_shift, -3);
    EXPECT_EQ(ts.read("chan_bw"), "5");
    EXPECT_EQ(ts.read("freq_shift"), "-3");
    EXPECT_FALSE(sweep_active(ts.server().radio));
    close(a);
}

TEST(Commands, ADwellTheEngineRefusesIsAnnouncedThenRefused)
{
    START_TEST_SERVER(ts);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(10));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    send_text(a, R"({"command":2,"sweep_from":2400,"sweep_to":2500,"dwell_time_ms":60001,)"
                 R"("duration_seconds":3.9})");
    ASSERT_TRUE(ts.run_for(10));
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(": 2400-2500 MHz, duration=3 s, dwell=60001 ms\n"), std::string::npos)
        << out;
    EXPECT_NE(err.find("Failed to start sweep: Invalid parameters\n"), std::string::npos) << err;
    EXPECT_EQ(ts.read("chan_bw"), "5");
    close(a);
}
