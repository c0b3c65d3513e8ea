// SPDX-License-Identifier: MIT
#include "fake_rfwatchd.h"

#include "unix_listen.h"

#include "core/command_frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace wdtest
{

namespace
{

// As much as rfwatchd reads at a time.
constexpr size_t READ_SIZE = COMMAND_READ_SIZE;

template <typename Pred> bool poll_until(Pred done, int timeout_ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

void FakeRfwatchd::repeat(const std::vector<std::string> &lines, int period_ms)
{
    std::lock_guard<std::mutex> lock(mu_);
    round_.clear();
    for (const std::string &l : lines)
        round_ += l + "\n";
    if (!thread_.joinable())
        period_ms_ = period_ms;
}

size_t FakeRfwatchd::rounds() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return rounds_;
}

bool FakeRfwatchd::start(const std::string &path, std::string *why)
{
    fd_ = listen_unix_stream(path, why);
    if (fd_ < 0)
        return false;
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        if (why)
            *why = std::string("pipe: ") + strerror(errno);
        stop();
        return false;
    }
    path_ = path;
    {
        std::lock_guard<std::mutex> lock(mu_);
        accepted_ = 0;
        rounds_ = 0;
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void FakeRfwatchd::stop()
{
    if (thread_.joinable()) {
        const char c = 'x';
        (void)!write(wake_[1], &c, 1);
        thread_.join();
    }
    std::lock_guard<std::mutex> lock(mu_);
    for (const int c : clients_)
        close(c);
    clients_.clear();
    for (int &fd : {std::ref(fd_), std::ref(wake_[0]), std::ref(wake_[1])}) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    if (!path_.empty())
        unlink(path_.c_str());
    path_.clear();
}

void FakeRfwatchd::send_round()
{
    std::lock_guard<std::mutex> lock(mu_);
    for (size_t i = 0; i < clients_.size();) {
        const ssize_t w =
            ::send(clients_[i], round_.data(), round_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        const bool missed = w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        if (!missed && w != static_cast<ssize_t>(round_.size())) {
            close(clients_[i]);
            clients_.erase(clients_.begin() + static_cast<long>(i));
        } else {
            i++;
        }
    }
    rounds_++;
}

void FakeRfwatchd::serve()
{
    auto next_round = std::chrono::steady_clock::now();
    for (;;) {
        int timeout_ms = -1;
        if (period_ms_ >= 0) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= next_round) {
                send_round();
                next_round = now + std::chrono::milliseconds(period_ms_);
            }
            timeout_ms = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(next_round - now).count());
        }
        std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(mu_);
            for (const int c : clients_)
                fds.push_back({c, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                std::lock_guard<std::mutex> lock(mu_);
                clients_.push_back(c);
                client_numbers_[c] = accepted_++;
            }
        }
        for (size_t i = 2; i < fds.size(); i++) {
            if (!fds[i].revents)
                continue;
            char buf[READ_SIZE];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            std::lock_guard<std::mutex> lock(mu_);
            if (n > 0)
                reads_.push_back({std::string(buf, static_cast<size_t>(n)),
                                  std::chrono::steady_clock::now(), client_numbers_[fds[i].fd]});
            else {
                close(fds[i].fd);
                clients_.erase(std::remove(clients_.begin(), clients_.end(), fds[i].fd),
                               clients_.end());
            }
        }
    }
}

bool FakeRfwatchd::wait_clients(size_t n, int timeout_ms) const
{
    return poll_until(
        [&] {
            std::lock_guard<std::mutex> lock(mu_);
            return accepted_ >= n;
        },
        timeout_ms);
}

bool FakeRfwatchd::send(std::string_view text)
{
    std::lock_guard<std::mutex> lock(mu_);
    if (clients_.empty())
        return false;
    bool ok = true;
    for (const int c : clients_) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::send(c, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    return ok;
}

std::vector<FakeRfwatchd::Read> FakeRfwatchd::reads() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return reads_;
}

bool FakeRfwatchd::wait_reads(size_t n, int timeout_ms) const
{
    return poll_until(
        [&] {
            std::lock_guard<std::mutex> lock(mu_);
            return reads_.size() >= n;
        },
        timeout_ms);
}

std::vector<std::string> FakeRfwatchd::commands() const
{
    std::map<size_t, std::string> held; // by client: a line cut short
    std::vector<std::string> out;
    for (const Read &r : reads()) {
        std::string text = std::exchange(held[r.client], "");
        if (!text.empty() && starts_whole_object(r.bytes))
            out.push_back(std::exchange(text, ""));
        text += r.bytes;
        if (r.bytes.find('\n') == std::string::npos) {
            out.push_back(text);
            continue;
        }
        size_t at = 0;
        for (size_t lf; (lf = text.find('\n', at)) != std::string::npos; at = lf + 1)
            if (lf > at)
                out.push_back(text.substr(at, lf - at));
        std::string_view rest = std::string_view(text).substr(at);
        if (r.bytes.size() == READ_SIZE || unfinished_json(rest))
            held[r.client] = rest;
        else if (!rest.empty())
            out.emplace_back(rest);
    }
    return out;
}

bool FakeRfwatchd::wait_commands(size_t n, int timeout_ms) const
{
    return poll_until([&] { return commands().size() >= n; }, timeout_ms);
}

} // namespace wdtest
