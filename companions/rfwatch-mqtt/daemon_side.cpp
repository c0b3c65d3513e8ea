#include "daemon_side.h"

#include "clock.h"
#include "command.h"
#include "daemon_connect.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

bool command_due(const DaemonSide &d, int64_t now_us)
{
    return d.fd >= 0 && d.command_count > 0 && now_us - d.last_write_us >= DAEMON_COMMAND_GAP_US;
}

void push_command(DaemonSide &d, std::string_view json)
{
    d.commands[(d.command_head + d.command_count) % DAEMON_COMMANDS] = json;
    d.command_count++;
}

// -1: the connection is over.
int write_command(DaemonSide &d, int64_t now_us)
{
    const std::string &c = d.commands[d.command_head];
    const ssize_t n = send(d.fd, c.data(), c.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    if (n != static_cast<ssize_t>(c.size()))
        return -1; // a command cut in two reaches the daemon as two bad ones
    d.last_write_us = now_us;
    d.command_head = (d.command_head + 1) % DAEMON_COMMANDS;
    d.command_count--;
    return 0;
}

// -1: the connection is over.
int read_lines(DaemonSide &d, DaemonLineSink sink, void *context)
{
    // Several reads per wake-up, bounded, so a fast daemon cannot starve
    // the broker side.
    for (int round = 0; round < 16; round++) {
        std::array<char, 65536> buf;
        const ssize_t n = read(d.fd, buf.data(), buf.size());
        if (n < 0)
            return errno == EAGAIN || errno == EINTR ? 0 : -1;
        if (n == 0)
            return -1;
        line_buffer_feed(*d.lines_in, std::span<const char>(buf.data(), static_cast<size_t>(n)),
                         sink, context);
        if (static_cast<size_t>(n) < buf.size())
            return 0;
    }
    return 0;
}

void lose(DaemonSide &d, int64_t now_us)
{
    daemon_close(d);
    d.backoff_us = BACKOFF_FIRST_US;
    d.next_attempt_us = now_us + d.backoff_us;
}

} // namespace

void daemon_init(DaemonSide &d, std::string_view socket_path, int period_ms)
{
    d.socket_path = socket_path;
    d.period_ms = period_ms;
    d.fd = -1;
    d.lines_in = std::make_unique<LineBuffer>();
    line_buffer_reset(*d.lines_in);
    d.lines_in->overlongs = 0;
    d.command_head = d.command_count = 0;
    d.last_write_us = 0;
    d.next_attempt_us = 0;
    d.backoff_us = 0;
    d.was_reported_unreachable = false;
}

void daemon_close(DaemonSide &d)
{
    if (d.fd >= 0)
        close(d.fd);
    d.fd = -1;
    if (d.command_count > 0)
        fprintf(stderr, "rfwatch-mqtt: rfwatchd went away; %zu command(s) not sent\n",
                d.command_count);
    d.command_head = d.command_count = 0;
}

bool daemon_connected(const DaemonSide &d)
{
    return d.fd >= 0;
}

bool daemon_tick(DaemonSide &d, int64_t now_us)
{
    if (d.fd >= 0 || now_us < d.next_attempt_us)
        return false;
    d.fd = daemon_connect(d.socket_path);
    if (d.fd < 0) {
        if (!d.was_reported_unreachable)
            fprintf(stderr, "rfwatch-mqtt: cannot connect to rfwatchd at %s (%s); retrying\n",
                    d.socket_path.c_str(), strerror(errno));
        d.was_reported_unreachable = true;
        d.backoff_us = backoff_next(d.backoff_us);
        d.next_attempt_us = now_us + d.backoff_us;
        return false;
    }
    fprintf(stderr, "rfwatch-mqtt: connected to rfwatchd at %s\n", d.socket_path.c_str());
    d.was_reported_unreachable = false;
    d.backoff_us = 0;
    line_buffer_reset(*d.lines_in);
    // The daemon forgets a client's aggregation period with the client.
    if (d.period_ms > 0)
        push_command(
            d, encode_command({.kind = CommandKind::SetAggregation, .period_ms = d.period_ms}));
    return true;
}

short daemon_events(const DaemonSide &d, int64_t now_us)
{
    return static_cast<short>(POLLIN | (command_due(d, now_us) ? POLLOUT : 0));
}

int64_t daemon_deadline(const DaemonSide &d, int64_t now_us)
{
    if (d.fd < 0)
        return d.next_attempt_us;
    if (d.command_count > 0)
        return d.last_write_us + DAEMON_COMMAND_GAP_US;
    return now_us + BACKOFF_MAX_US;
}

bool daemon_handle(DaemonSide &d, short revents, int64_t now_us, DaemonLineSink sink, void *context)
{
    if (d.fd < 0)
        return false;
    // Read first: a daemon that wrote its last lines and closed still has
    // them delivered.
    if ((revents & (POLLIN | POLLHUP | POLLERR)) && read_lines(d, sink, context) < 0) {
        fprintf(stderr, "rfwatch-mqtt: rfwatchd closed the connection; reconnecting\n");
        lose(d, now_us);
        return true;
    }
    if ((revents & POLLOUT) && command_due(d, now_us) && write_command(d, now_us) < 0) {
        fprintf(stderr, "rfwatch-mqtt: cannot write to rfwatchd; reconnecting\n");
        lose(d, now_us);
        return true;
    }
    return false;
}

bool daemon_submit(DaemonSide &d, std::string_view json, std::string &error)
{
    if (d.fd < 0) {
        error = "rfwatchd is not reachable";
        return false;
    }
    if (d.command_count == DAEMON_COMMANDS) {
        error = "too many commands waiting";
        return false;
    }
    push_command(d, json);
    return true;
}
