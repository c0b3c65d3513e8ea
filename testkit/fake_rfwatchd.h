// A stand-in for rfwatchd's Unix stream socket: accepts clients, sends them
// the lines a test chooses, and records what they write, one entry per
// read() with its arrival time, the way rfwatchd takes commands.
#pragma once

#include <chrono>
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
    };

    FakeRfwatchd() = default;
    FakeRfwatchd(const FakeRfwatchd &) = delete;
    FakeRfwatchd &operator=(const FakeRfwatchd &) = delete;
    ~FakeRfwatchd() { stop(); }

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

  private:
    void serve();

    std::string path_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mu_;
    std::vector<int> clients_;
    size_t accepted_ = 0;
    std::vector<Read> reads_;
};

} // namespace wdtest
