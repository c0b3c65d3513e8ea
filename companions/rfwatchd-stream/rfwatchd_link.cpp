// SPDX-License-Identifier: MIT
#include "rfwatchd_link.h"

#include "daemon_connect.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace
{

void change(DaemonLink &l, LinkChange c, int error)
{
    if (l.sink.change != nullptr)
        l.sink.change(l.sink.context, c, error);
}

// Hands every queued command back as not sent.
void drop_commands(DaemonLink &l)
{
    for (; l.command_count > 0; l.command_count--) {
        if (l.sink.done != nullptr)
            l.sink.done(l.sink.context, l.commands[l.command_head], false);
        l.command_head = (l.command_head + 1) % LINK_COMMANDS;
    }
    l.command_head = l.head_written = 0;
}

void forget_fd(DaemonLink &l)
{
    if (l.fd >= 0 && !l.loop_owns_fd)
        close(l.fd);
    l.fd = -1;
}

// false: the connection is over.
bool read_lines(DaemonLink &l)
{
    // Several reads per wake-up, bounded, so a fast daemon cannot starve the
    // rest of the loop.
    for (int round = 0; round < 16; round++) {
        std::array<char, 65536> buf;
        const ssize_t n = read(l.fd, buf.data(), buf.size());
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        if (n == 0) {
            errno = 0; // the end of the stream, not a failure
            return false;
        }
        line_buffer_feed(l.lines_in, std::span<const char>(buf.data(), static_cast<size_t>(n)),
                         l.sink.line, l.sink.context);
        if (static_cast<size_t>(n) < buf.size())
            return true;
    }
    return true;
}

// All queued commands in one write, each with its "\n"; what the socket did
// not take waits for the next writable event. false: the connection is over.
bool write_commands(DaemonLink &l)
{
    static const char newline = '\n';
    std::array<iovec, 2 * LINK_COMMANDS> iov{};
    size_t parts = 0;
    for (size_t i = 0; i < l.command_count; i++) {
        const std::string &text = l.commands[(l.command_head + i) % LINK_COMMANDS].text;
        const size_t skip = i == 0 ? std::min(l.head_written, text.size()) : 0;
        if (skip < text.size())
            iov[parts++] = {const_cast<char *>(text.data() + skip), text.size() - skip};
        iov[parts++] = {const_cast<char *>(&newline), 1};
    }
    msghdr msg{};
    msg.msg_iov = iov.data();
    msg.msg_iovlen = parts;
    const ssize_t n = sendmsg(l.fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EINTR;
    size_t left = static_cast<size_t>(n);
    while (l.command_count > 0) {
        const LinkCommand &c = l.commands[l.command_head];
        const size_t rest = c.text.size() + 1 - l.head_written;
        if (left < rest) {
            l.head_written += left;
            break;
        }
        left -= rest;
        l.head_written = 0;
        if (l.sink.done != nullptr)
            l.sink.done(l.sink.context, c, true);
        l.command_head = (l.command_head + 1) % LINK_COMMANDS;
        l.command_count--;
    }
    return true;
}

} // namespace

void link_init(DaemonLink &l, std::string_view socket_path, LinkSink sink)
{
    l.socket_path = socket_path;
    l.sink = sink;
    l.fd = -1;
    l.loop_owns_fd = false;
    line_buffer_reset(l.lines_in);
    l.lines_in.overlongs = 0;
    l.command_head = l.command_count = l.head_written = 0;
    l.next_attempt_us = 0;
    l.reported_unreachable = false;
}

void link_close(DaemonLink &l)
{
    forget_fd(l);
    drop_commands(l);
}

bool link_connected(const DaemonLink &l)
{
    return l.fd >= 0;
}

bool link_connect(DaemonLink &l, int64_t now_us)
{
    if (l.fd >= 0)
        return true;
    l.fd = daemon_connect(l.socket_path);
    if (l.fd < 0) {
        l.next_attempt_us = now_us + LINK_RETRY_US;
        if (!l.reported_unreachable)
            change(l, LinkChange::Unreachable, errno);
        l.reported_unreachable = true;
        return false;
    }
    l.reported_unreachable = false;
    line_buffer_reset(l.lines_in);
    change(l, LinkChange::Connected, 0);
    return true;
}

void link_lost(DaemonLink &l, int64_t now_us, LinkChange why, int error)
{
    forget_fd(l);
    drop_commands(l);
    l.next_attempt_us = now_us + LINK_RETRY_US;
    change(l, why, error);
}

int link_fd(const DaemonLink &l)
{
    return l.fd;
}

short link_events(const DaemonLink &l)
{
    if (l.fd < 0)
        return 0;
    return static_cast<short>(POLLIN | (l.command_count > 0 ? POLLOUT : 0));
}

int64_t link_deadline(const DaemonLink &l)
{
    return l.fd < 0 ? l.next_attempt_us : INT64_MAX;
}

void link_handle(DaemonLink &l, short revents, int64_t now_us)
{
    if (l.fd < 0) {
        if (now_us >= l.next_attempt_us)
            link_connect(l, now_us);
        return;
    }
    // Read first: a daemon that wrote its last lines and closed still has
    // them delivered.
    if ((revents & (POLLIN | POLLHUP | POLLERR)) && !read_lines(l)) {
        link_lost(l, now_us, LinkChange::Closed, errno);
        return;
    }
    if ((revents & POLLOUT) && l.command_count > 0 && !write_commands(l))
        link_lost(l, now_us, LinkChange::WriteFailed, errno);
}

const char *link_submit_message(LinkSubmit result)
{
    switch (result) {
    case LinkSubmit::Queued:
        return "queued";
    case LinkSubmit::NotConnected:
        return "rfwatchd is not reachable; the command was not sent";
    case LinkSubmit::QueueFull:
        return "too many commands waiting; try again in a moment";
    case LinkSubmit::TooLong:
        return "the command is too long for rfwatchd";
    }
    return "unknown";
}

LinkSubmit link_submit(DaemonLink &l, std::string_view command, uint64_t tag)
{
    if (l.fd < 0)
        return LinkSubmit::NotConnected;
    if (l.command_count == LINK_COMMANDS)
        return LinkSubmit::QueueFull;
    if (command.size() + 1 > LINK_COMMAND_MAX_BYTES)
        return LinkSubmit::TooLong;
    LinkCommand &c = l.commands[(l.command_head + l.command_count) % LINK_COMMANDS];
    c.text = command;
    std::replace(c.text.begin(), c.text.end(), '\n', ' ');
    c.tag = tag;
    l.command_count++;
    return LinkSubmit::Queued;
}
