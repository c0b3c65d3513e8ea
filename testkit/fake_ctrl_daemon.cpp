// SPDX-License-Identifier: MIT
#include "fake_ctrl_daemon.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace wdtest
{

void FakeCtrlDaemon::answer(const std::string &command, const std::string &reply)
{
    std::lock_guard<std::mutex> lock(mu_);
    replies_[command] = reply;
}

bool FakeCtrlDaemon::start(const std::string &path, std::string *why)
{
    auto fail = [&](const char *what) {
        if (why)
            *why = std::string(what) + " " + path + ": " + strerror(errno);
        stop();
        return false;
    };
    path_ = path;
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return fail("socket");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) {
        errno = ENAMETOOLONG;
        return fail("bind");
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0)
        return fail("bind");
    if (pipe2(wake_, O_CLOEXEC) != 0)
        return fail("pipe");
    thread_ = std::thread([this] { serve(); });
    return true;
}

void FakeCtrlDaemon::stop()
{
    if (thread_.joinable()) {
        char c = 'x';
        (void)!write(wake_[1], &c, 1);
        thread_.join();
    }
    for (int *fd : {&fd_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    if (!path_.empty())
        unlink(path_.c_str());
    path_.clear();
}

void FakeCtrlDaemon::serve()
{
    char buf[4096];
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR)
            return;
        if (p[1].revents)
            return;
        if (!(p[0].revents & POLLIN))
            continue;
        sockaddr_un from{};
        socklen_t from_len = sizeof(from);
        ssize_t n =
            recvfrom(fd_, buf, sizeof(buf), 0, reinterpret_cast<sockaddr *>(&from), &from_len);
        if (n < 0)
            continue;
        std::string command(buf, static_cast<size_t>(n));
        {
            std::lock_guard<std::mutex> lock(mu_);
            requests_.push_back({command, from_len > sizeof(sa_family_t) ? from.sun_path : ""});
        }
        if (silent_)
            continue;
        if (int delay = delay_ms_; delay > 0) {
            // Wait for the delay, but leave at once when stopped.
            pollfd w = {wake_[0], POLLIN, 0};
            if (poll(&w, 1, delay) > 0)
                return;
        }
        std::string reply = "UNKNOWN COMMAND\n";
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (auto it = replies_.find(command); it != replies_.end())
                reply = it->second;
        }
        if (sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from),
                   from_len) >= 0) {
            std::lock_guard<std::mutex> lock(mu_);
            ++replies_sent_;
        }
    }
}

std::vector<FakeCtrlDaemon::Request> FakeCtrlDaemon::requests() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

bool FakeCtrlDaemon::wait_replies(size_t n, int timeout_ms) const
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (replies_sent_ >= n)
                return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace wdtest
