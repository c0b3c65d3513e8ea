// A stand-in for rfwatchd's client socket: a Unix stream socket bound at a
// path that sends the same lines to every client over and over, a round
// every period, until stopped.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace wdtest
{

class LineServer
{
  public:
    LineServer() = default;
    LineServer(const LineServer &) = delete;
    LineServer &operator=(const LineServer &) = delete;
    ~LineServer() { stop(); }

    // Binds `path` (its directory must exist) and serves `lines` (each
    // without its newline) in a thread.
    bool start(const std::string &path, std::vector<std::string> lines, int period_ms,
               std::string *why = nullptr);
    // Closes every connection, stops the thread and removes the socket file.
    void stop();
    // Clients accepted so far.
    int accepted() const { return accepted_; }

  private:
    void serve();

    std::string path_;
    std::string round_; // all lines, newline-terminated
    int period_ms_ = 100;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<int> accepted_{0};
};

} // namespace wdtest
