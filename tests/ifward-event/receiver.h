// SPDX-License-Identifier: MIT
// A stand-in for ifward in component tests: binds the fixed socket path
// and collects every datagram, with the length of its sender's address, on
// a thread of its own, so that senders of long replays never block on a
// full queue.
#pragma once

#include "expected_bytes.h"

#include <atomic>
#include <string>
#include <subprocess.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace ifwtest
{

constexpr const char SOCKET_DIR[] = "/run/ifward";
constexpr const char SOCKET_PATH[] = "/run/ifward/ifward.sock";

// A fresh tmpfs over /run with an empty /run/ifward. Call inside a private
// mount namespace.
bool fresh_run_dir(std::string *why);

class Receiver
{
  public:
    Receiver() = default;
    Receiver(const Receiver &) = delete;
    Receiver &operator=(const Receiver &) = delete;
    ~Receiver();

    bool bind(std::string *why);
    // Stops collecting once everything already queued has been read.
    std::vector<Bytes> stop();
    // The sender's address length of each datagram, in the same order.
    const std::vector<socklen_t> &sender_lengths() const { return sender_lengths_; }

  private:
    void loop();
    int fd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<Bytes> got_;
    std::vector<socklen_t> sender_lengths_;
};

struct Exchange {
    wdtest::Outcome outcome;
    std::vector<Bytes> datagrams;
    std::vector<socklen_t> sender_lengths; // one per datagram
};

// Expects every datagram to come from an unbound socket: the tool never
// binds a local address, so the daemon has nothing to answer to. Linux
// gives an unbound sender's address as 0 bytes (unix(7) allows the family
// alone); any bound one, by path, abstract name or autobind, is longer.
void expect_unbound_senders(const Exchange &e);

// Binds a receiver (inside a fresh /run), runs the tool with args and
// returns its outcome and what it sent, expecting unbound senders.
Exchange exchange(const std::vector<std::string> &args, const std::vector<std::string> &env = {});

// Runs the tool with no receiver.
wdtest::Outcome run_tool(const std::vector<std::string> &args,
                         const std::vector<std::string> &env = {});

} // namespace ifwtest
