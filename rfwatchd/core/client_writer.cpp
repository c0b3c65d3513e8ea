// SPDX-License-Identifier: MIT
#include "core/client_writer.h"

#include "base/clock.h"
#include "base/log.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace
{

// Waits until fd has room or the deadline passes; true when it has room
// (or reports an error, which the next send turns into a code).
bool wait_for_room(int fd, uint64_t deadline_ms)
{
    for (;;) {
        uint64_t now = monotonic_ms();
        int timeout = now >= deadline_ms ? 0 : static_cast<int>(deadline_ms - now);
        pollfd p{fd, POLLOUT, 0};
        int r = poll(&p, 1, timeout);
        if (r > 0)
            return true;
        if (r == 0)
            return false;
        if (errno != EINTR)
            return true; // let send report it
        if (timeout == 0)
            return false;
    }
}

} // namespace

LineWrite write_client_line(int fd, std::string_view text, uint32_t *wait_budget_ms, int *errno_out)
{
    static char line_feed = '\n';
    auto wait = [&] {
        uint64_t start = monotonic_ms();
        bool room = wait_for_room(fd, start + *wait_budget_ms);
        uint64_t spent = monotonic_ms() - start;
        *wait_budget_ms -= static_cast<uint32_t>(spent < *wait_budget_ms ? spent : *wait_budget_ms);
        return room;
    };
    size_t total = text.size() + 1, sent = 0;
    // A Unix stream socket polls writable only while at least three
    // quarters of its send buffer are free, so waiting for room before the
    // first byte keeps a line from being split by a full buffer.
    while (sent < total) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 0) == 0 && !wait())
            return LINE_STALLED;
        iovec iov[2];
        int n_iov = 0;
        if (sent < text.size()) {
            iov[n_iov++] = {const_cast<char *>(text.data()) + sent, text.size() - sent};
            iov[n_iov++] = {&line_feed, 1};
        } else {
            iov[n_iov++] = {&line_feed, 1};
        }
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = n_iov;
        ssize_t n = sendmsg(fd, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                if (!wait())
                    return LINE_STALLED;
                continue;
            }
            if (errno == EPIPE)
                return LINE_BROKEN;
            if (errno_out)
                *errno_out = errno;
            return LINE_FAILED;
        }
        sent += static_cast<size_t>(n);
    }
    return LINE_SENT;
}

bool client_line_kept(LineWrite result, int fd, int err)
{
    switch (result) {
    case LINE_SENT:
        return true;
    case LINE_BROKEN:
        log_text("Client disconnected during flush\n");
        return false;
    case LINE_STALLED:
        log_text("Client %d not reading, dropped\n", fd);
        return false;
    case LINE_FAILED:
        log_text("Write error to client during flush: %s\n", strerror(err));
        return true;
    }
    return true;
}
