// SPDX-License-Identifier: MIT
// A Server set up by the real server_init over a driver directory in a
// temporary folder, with real client sockets, for driving the main-loop
// steps in-process, on the test clock: every pass moves it by PASS_MS, so
// what the steps decide from time is the same on any machine. The process moves into a private
// network namespace whose loopback stands in for the monitor: agile sweeps (control-file writes
// only) run for real, and active sweeps fail at the nl80211 retune without touching the host's
// interfaces.
#pragma once

#include "core/clients.h"
#include "core/server.h"
#include "spectral_report.h"
#include "temp_dir.h"

#include <string>
#include <vector>

namespace coretest
{

// Long enough that a test needs few passes, short enough for the shortest
// dwell. A pass does not wait for input: its poll has a zero time-out.
constexpr uint64_t PASS_MS = 25;

// The test clock's time: what the daemon's steps read.
uint64_t now_ms();

class TestServer
{
  public:
    // bins: the -b value handed to the set-up (non-zero: no channel query).
    explicit TestServer(int32_t bins = 64);
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    bool ok() const { return ok_; }
    // Set when the test cannot run here (no private network namespace).
    const std::string &skip_reason() const { return skip_reason_; }
    Server &server() { return *server_; }
    const std::string &dir() const { return dir_; }
    std::string file(const char *name) const { return dir_ + "/" + name; }

    // Replaces the sample file's content.
    void set_samples(const std::vector<uint8_t> &bytes);
    std::string read(const char *name) const;
    void write(const char *name, const std::string &text);

    // A connected client socket (test side); the daemon side is accepted by
    // the next poll step.
    int connect_client();
    // Runs whole passes (poll, sweep timer, samples, flush) for ms of test
    // time, and at least three; calls between() after each pass. Returns
    // false if the sample step failed.
    template <typename F> bool run_for(int ms, F between);
    bool run_for(int ms)
    {
        return run_for(ms, [] {});
    }
    // Moves the test clock by PASS_MS, then runs one pass.
    bool pass();
    // Runs passes until done() holds or ms of test time have passed;
    // returns done().
    template <typename F> bool run_until(int ms, F done)
    {
        uint64_t end = now_ms() + static_cast<uint64_t>(ms);
        while (!done() && now_ms() < end)
            if (!pass())
                return false;
        return done();
    }

  private:
    bool ok_ = false;
    std::string skip_reason_;
    wdtest::TempDir tmp_{"rfwatchd-core"};
    std::string dir_;
    std::string socket_path_;
    Server *server_ = nullptr;
    bool torn_down_ = false;

  public:
    void teardown();
};

// Writes s to a test-side client socket in one write, as a client sends
// one command per write; a short write fails the test.
void send_text(int fd, const std::string &s);
// Everything readable now on fd (non-blocking); -1 in *eof when it ended.
std::string drain(int fd, bool *eof = nullptr);
// Splits complete lines; the unfinished rest stays in buf.
std::vector<std::string> take_lines(std::string &buf);

// Reports of 20 MHz at the given centres, 64 bins each, detector 0.
std::vector<uint8_t> reports_at(const std::vector<uint16_t> &freqs, uint8_t bandwidth = 20,
                                size_t bins = 64, uint8_t type = 4);

// Declares ts and skips the test, loudly, where it cannot run.
#define START_TEST_SERVER(ts, ...)                                                                 \
    ::coretest::TestServer ts{__VA_ARGS__};                                                        \
    if (!ts.skip_reason().empty())                                                                 \
        GTEST_SKIP() << "SKIPPED: " << ts.skip_reason();                                           \
    ASSERT_TRUE(ts.ok())

template <typename F> bool TestServer::run_for(int ms, F between)
{
    // At least three passes, so a change seen by one step has reached the
    // next pass's steps.
    uint64_t end = now_ms() + static_cast<uint64_t>(ms);
    for (int passes = 0; passes < 3 || now_ms() < end; passes++) {
        if (!pass())
            return false;
        between();
    }
    return true;
}

} // namespace coretest
