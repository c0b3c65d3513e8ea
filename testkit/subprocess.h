// SPDX-License-Identifier: MIT
// Child processes for component tests: start a real binary with its three
// standard streams piped, talk to it, and collect its output and status.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace wdtest
{

struct Outcome {
    bool exited = false;    // ended through exit(); status is valid
    int status = -1;        // exit status
    int signal = 0;         // terminating signal, when not exited
    bool timed_out = false; // had to be killed after the time-out
    std::string out;        // everything read from standard output
    std::string err;        // everything read from standard error
};

// Owns one child; the destructor kills and reaps it if still running.
class Child
{
  public:
    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child();

    // argv[0] is a path. env_extra holds "NAME=value" entries added to (or
    // replacing in) the inherited environment; "-NAME" removes NAME.
    bool start(const std::vector<std::string> &argv, const std::vector<std::string> &env_extra = {},
               std::string *why = nullptr);

    bool write_stdin(std::string_view text);
    void close_stdin();

    // Reads standard output (and drains standard error) until done(out)
    // holds or timeout_ms passes. Returns whether done() held.
    bool read_until(const std::function<bool(const std::string &)> &done, int timeout_ms);
    // Convenience: until the output holds `needle`.
    bool read_until_contains(std::string_view needle, int timeout_ms);

    void send_signal(int sig);
    // Waits for the exit, reading the rest of both streams; SIGKILLs after
    // timeout_ms and marks the outcome timed out.
    Outcome finish(int timeout_ms);

    pid_t pid() const { return pid_; }
    const std::string &out() const { return out_; }
    const std::string &err() const { return err_; }

  private:
    bool pump(int timeout_ms); // one poll round; false when both streams ended
    pid_t pid_ = -1;
    int in_ = -1, out_fd_ = -1, err_fd_ = -1;
    std::string out_, err_;
    bool reaped_ = false;
    int wait_status_ = 0;
};

// The port a server child names in its first line on standard output
// ("... listening on 127.0.0.1:PORT ..."), as the HTTP companions announce
// themselves; 0 when no such line came within timeout_ms.
int read_loopback_port(Child &child, int timeout_ms);

// The peak resident set of a running process in KiB (its VmHWM); 0 when
// it cannot be read.
long peak_rss_kib(pid_t pid);

// Runs argv to completion with `input` on standard input.
Outcome run(const std::vector<std::string> &argv, std::string_view input = {},
            int timeout_ms = 10000, const std::vector<std::string> &env_extra = {});

} // namespace wdtest
