// SPDX-License-Identifier: MIT
#include "receiver.h"

#include "namespaces.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ifwtest
{

bool fresh_run_dir(std::string *why)
{
    return wdtest::mount_tmpfs("/run", why) && wdtest::make_dirs(SOCKET_DIR, why);
}

Receiver::~Receiver()
{
    stop();
    if (fd_ >= 0)
        close(fd_);
}

bool Receiver::bind(std::string *why)
{
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, SOCKET_PATH);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
        *why = std::string("binding ") + SOCKET_PATH + ": " + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { loop(); });
    return true;
}

void Receiver::loop()
{
    uint8_t buf[512];
    for (;;) {
        // Once stopping, the sender has ended: what it sent is all queued.
        bool last_pass = stopping_.load();
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, last_pass ? 0 : 20) <= 0) {
            if (last_pass)
                return;
            continue;
        }
        sockaddr_un from{};
        socklen_t from_length = sizeof(from);
        ssize_t n = recvfrom(fd_, buf, sizeof(buf), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr *>(&from), &from_length);
        if (n >= 0) {
            got_.emplace_back(buf, buf + n);
            sender_lengths_.push_back(from_length);
        }
    }
}

std::vector<Bytes> Receiver::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    return got_;
}

void expect_unbound_senders(const Exchange &e)
{
    ASSERT_EQ(e.sender_lengths.size(), e.datagrams.size());
    // The first bound sender only: a replay sends thousands of datagrams.
    auto bound = std::find_if(e.sender_lengths.begin(), e.sender_lengths.end(),
                              [](socklen_t n) { return n > sizeof(sa_family_t); });
    if (bound != e.sender_lengths.end())
        ADD_FAILURE() << "datagram " << (bound - e.sender_lengths.begin()) << " of "
                      << e.datagrams.size() << " came from an address of " << *bound << " bytes";
}

wdtest::Outcome run_tool(const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    std::vector<std::string> argv{IFWARD_EVENT_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return wdtest::run(argv, {}, 60000, env);
}

Exchange exchange(const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    Exchange e;
    std::string why;
    Receiver r;
    if (!fresh_run_dir(&why) || !r.bind(&why)) {
        ADD_FAILURE() << why;
        return e;
    }
    e.outcome = run_tool(args, env);
    e.datagrams = r.stop();
    e.sender_lengths = r.sender_lengths();
    expect_unbound_senders(e);
    return e;
}

} // namespace ifwtest
