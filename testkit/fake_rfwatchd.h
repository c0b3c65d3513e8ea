// SPDX-License-Identifier: MIT
// A stand-in for rfwatchd's Unix stream socket: accepts clients, sends them
// the lines a test chooses (once, or a round every period), and records what
// they write, one entry per read() with its arrival time, and the commands
// in it the way rfwatchd takes them (each ended by a line feed, or a whole
// read without one).
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace wdtest
{

class FakeRfwatchd
{
  public:
    struct Read {
        std::string bytes; // what one read() returned
        std::chrono::steady_clock::time_point at;
        size_t client; // the connection, numbered from 0 in the order accepted
    };

    FakeRfwatchd() = default;
    FakeRfwatchd(const FakeRfwatchd &) = delete;
    FakeRfwatchd &operator=(const FakeRfwatchd &) = delete;
    ~FakeRfwatchd() { stop(); }

    // Before start(): every period_ms, each client gets these lines (each
    // without its newline); a client whose buffer is full misses the round,
    // one that took part of it is dropped, as rfwatchd does. While serving,
    // it changes the lines only (the period stays).
    void repeat(const std::vector<std::string> &lines, int period_ms);
    // Rounds sent since start().
    size_t rounds() const;
    // Binds path (replacing a stale socket file) and serves in a thread.
    bool start(const std::string &path, std::string *why = nullptr);
    // Closes the listener and every client and removes the socket file, as
    // rfwatchd's exit does.
    void stop();

    // Waits until at least n clients have connected since start().
    bool wait_clients(size_t n, int timeout_ms) const;
    // Writes text to every connected client (blocking); false when there is
    // none or a write failed.
    bool send(std::string_view text);

    std::vector<Read> reads() const;
    // Waits until at least n reads were recorded.
    bool wait_reads(size_t n, int timeout_ms) const;
    // Each client's reads split into commands as rfwatchd splits them: a
    // read without a line feed is one; each line of a read is one; a line a
    // writer was cut short in is joined to the client's next read. Empty
    // ones dropped; in the order they were completed.
    std::vector<std::string> commands() const;
    bool wait_commands(size_t n, int timeout_ms) const;

  private:
    void serve();
    void send_round();

    std::string path_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mu_;
    std::vector<int> clients_;
    std::map<int, size_t> client_numbers_; // by descriptor
    size_t accepted_ = 0;
    std::vector<Read> reads_;
    std::string round_; // the repeated lines, newline-terminated
    int period_ms_ = -1;
    size_t rounds_ = 0;
};

} // namespace wdtest
