// SPDX-License-Identifier: MIT
// A stand-in for the control interface of hostapd or wpa_supplicant: a Unix
// datagram socket bound at a path that answers each request datagram with a
// canned reply sent back to the requester's own socket.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wdtest
{

class FakeCtrlDaemon
{
  public:
    struct Request {
        std::string command; // the datagram as received
        std::string from;    // the requester's bound path
    };

    FakeCtrlDaemon() = default;
    FakeCtrlDaemon(const FakeCtrlDaemon &) = delete;
    FakeCtrlDaemon &operator=(const FakeCtrlDaemon &) = delete;
    ~FakeCtrlDaemon() { stop(); }

    // Canned answers, also changeable while serving. A command with no
    // answer gets "UNKNOWN COMMAND\n", as the real daemons say.
    void answer(const std::string &command, const std::string &reply);
    // Never answer anything (requests are still recorded).
    void stay_silent() { silent_ = true; }
    // Answer only after this many milliseconds (0: at once).
    void delay_replies(int ms) { delay_ms_ = ms; }

    // Binds `path` (its directory must exist) and starts serving in a thread.
    bool start(const std::string &path, std::string *why = nullptr);
    // Stops the thread and removes the socket file.
    void stop();

    std::vector<Request> requests() const;
    // Waits until at least n replies went out (or timeout_ms passed).
    bool wait_replies(size_t n, int timeout_ms) const;

  private:
    void serve();

    std::map<std::string, std::string> replies_;
    std::atomic<bool> silent_{false};
    std::atomic<int> delay_ms_{0};
    std::string path_;
    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mu_;
    std::vector<Request> requests_;
    size_t replies_sent_ = 0;
};

} // namespace wdtest
