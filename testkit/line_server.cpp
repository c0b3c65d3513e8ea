#include "line_server.h"

#include "unix_listen.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace wdtest
{

bool LineServer::start(const std::string &path, std::vector<std::string> lines, int period_ms,
                       std::string *why)
{
    for (const std::string &l : lines)
        round_ += l + "\n";
    period_ms_ = period_ms;
    fd_ = listen_unix_stream(path, why);
    if (fd_ < 0)
        return false;
    if (pipe2(wake_, O_CLOEXEC) != 0) {
        if (why)
            *why = strerror(errno);
        stop();
        return false;
    }
    path_ = path;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void LineServer::serve()
{
    std::vector<int> clients;
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int n = poll(p, 2, period_ms_);
        if (n < 0 && errno != EINTR)
            break;
        if (p[1].revents)
            break;
        if (p[0].revents & POLLIN) {
            int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                clients.push_back(c);
                accepted_++;
            }
        }
        // A client whose buffer is full misses the round; one that took
        // part of it (a cut line) or went away is dropped.
        for (size_t i = 0; i < clients.size();) {
            ssize_t w = send(clients[i], round_.data(), round_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            bool missed = w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (!missed && w != static_cast<ssize_t>(round_.size())) {
                close(clients[i]);
                clients.erase(clients.begin() + static_cast<long>(i));
            } else {
                i++;
            }
        }
    }
    for (int c : clients)
        close(c);
}

void LineServer::stop()
{
    if (thread_.joinable()) {
        ssize_t ignored = write(wake_[1], "x", 1);
        (void)ignored;
        thread_.join();
    }
    for (int *fd : {&fd_, &wake_[0], &wake_[1]})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    if (!path_.empty()) {
        unlink(path_.c_str());
        path_.clear();
    }
}

} // namespace wdtest
