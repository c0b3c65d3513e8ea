#include "daemon_link.h"

#include "daemon_connect.h"
#include "frame.h"
#include "server.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

const char *const LINK_PROTOCOL_NAME = "rfwatchd-link";

namespace
{

int64_t monotonic_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

DaemonLink &link_of(struct lws *wsi)
{
    auto *server = static_cast<WebServer *>(lws_context_user(lws_get_context(wsi)));
    return server->link;
}

void announce(DaemonLink &l)
{
    server_radio_changed(*l.server, -1);
}

void on_reconnect_timer(lws_sorted_usec_list_t *sul)
{
    link_start(*lws_container_of(sul, DaemonLink, reconnect_timer));
}

void retry_later(DaemonLink &l)
{
    lws_sul_schedule(l.server->context, 0, &l.reconnect_timer, on_reconnect_timer,
                     LINK_RECONNECT_US);
}

void fail_commands(DaemonLink &l)
{
    for (; l.command_count > 0; l.command_count--) {
        const PendingCommand &c = l.commands[l.command_head];
        server_command_done(*l.server, c.browser_id, c.json,
                            "rfwatchd went away; the command was not sent");
        l.command_head = (l.command_head + 1) % LINK_COMMANDS;
    }
    l.command_head = 0;
}

void on_command_timer(lws_sorted_usec_list_t *sul);

// Asks for the next write when the gap since the last one has passed.
void kick_commands(DaemonLink &l)
{
    if (l.command_count == 0 || !l.connected)
        return;
    const int64_t wait = l.last_write_us + LINK_COMMAND_GAP_US - monotonic_us();
    if (wait > 0)
        lws_sul_schedule(l.server->context, 0, &l.command_timer, on_command_timer, wait);
    else
        lws_callback_on_writable(l.wsi);
}

void on_command_timer(lws_sorted_usec_list_t *sul)
{
    kick_commands(*lws_container_of(sul, DaemonLink, command_timer));
}

void on_line(void *context, std::string_view line)
{
    auto &l = *static_cast<DaemonLink *>(context);
    l.lines++;
    SpectrumFrame frame;
    if (!frame_from_line(line, frame)) {
        l.dropped++;
        return;
    }
    server_radio_frame(*l.server, 0, frame);
}

// -1: the connection is over.
int read_lines(DaemonLink &l)
{
    std::array<char, 65536> buf;
    const ssize_t n = read(l.fd, buf.data(), buf.size());
    if (n < 0)
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    if (n == 0)
        return -1;
    const uint64_t overlong_before = l.lines_in.overlongs;
    line_buffer_feed(l.lines_in, std::span<const char>(buf.data(), static_cast<size_t>(n)), on_line,
                     &l);
    l.lines += l.lines_in.overlongs - overlong_before;
    l.dropped += l.lines_in.overlongs - overlong_before;
    return 0;
}

// One command per write(), so rfwatchd reads it alone; -1: connection over.
int write_command(DaemonLink &l)
{
    if (l.command_count == 0)
        return 0;
    if (monotonic_us() - l.last_write_us < LINK_COMMAND_GAP_US) {
        kick_commands(l);
        return 0;
    }
    PendingCommand &c = l.commands[l.command_head];
    const ssize_t n = send(l.fd, c.json.data(), c.json.size(), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        lws_callback_on_writable(l.wsi);
        return 0;
    }
    if (n != static_cast<ssize_t>(c.json.size()))
        return -1; // a command cut in two would reach the daemon as two bad ones
    l.last_write_us = monotonic_us();
    server_command_done(*l.server, c.browser_id, c.json, {});
    l.command_head = (l.command_head + 1) % LINK_COMMANDS;
    l.command_count--;
    kick_commands(l);
    return 0;
}

void on_closed(DaemonLink &l)
{
    l.wsi = nullptr;
    l.fd = -1; // lws closes the descriptor it adopted
    l.connected = false;
    lws_sul_cancel(&l.command_timer);
    if (l.stopping)
        return;
    fail_commands(l);
    announce(l);
    retry_later(l);
}

} // namespace

void link_init(DaemonLink &l, WebServer &server, std::string_view socket_path)
{
    l.server = &server;
    l.socket_path = socket_path;
    l.fd = -1;
    l.wsi = nullptr;
    l.connected = false;
    l.stopping = false;
    line_buffer_reset(l.lines_in);
    l.lines_in.overlongs = 0;
    l.lines = l.dropped = 0;
    l.command_head = l.command_count = 0;
    l.last_write_us = monotonic_us() - LINK_COMMAND_GAP_US;
    l.reconnect_timer = {};
    l.command_timer = {};
}

void link_start(DaemonLink &l)
{
    if (l.connected)
        return;
    const int fd = daemon_connect(l.socket_path);
    if (fd < 0) {
        retry_later(l);
        return;
    }
    lws_sock_file_fd_type desc{};
    desc.filefd = fd;
    l.fd = fd;
    line_buffer_reset(l.lines_in);
    // Adopted as a plain descriptor: we read and write it ourselves, so
    // each command is exactly one write.
    l.wsi = lws_adopt_descriptor_vhost(l.server->vhost, LWS_ADOPT_RAW_FILE_DESC, desc,
                                       LINK_PROTOCOL_NAME, nullptr);
    if (l.wsi == nullptr) { // lws closed fd
        l.fd = -1;
        retry_later(l);
        return;
    }
    l.connected = true;
    announce(l);
}

void link_stop(DaemonLink &l)
{
    l.stopping = true;
    lws_sul_cancel(&l.reconnect_timer);
    lws_sul_cancel(&l.command_timer);
}

bool link_submit(DaemonLink &l, std::string_view json, unsigned browser_id, std::string &error)
{
    if (!l.connected) {
        error = "rfwatchd is not reachable; the command was not sent";
        return false;
    }
    if (l.command_count == LINK_COMMANDS) {
        error = "too many commands waiting; try again in a moment";
        return false;
    }
    PendingCommand &c = l.commands[(l.command_head + l.command_count) % LINK_COMMANDS];
    c.json = json;
    c.browser_id = browser_id;
    l.command_count++;
    kick_commands(l);
    return true;
}

int link_callback(struct lws *wsi, enum lws_callback_reasons reason, void * /*user*/, void * /*in*/,
                  size_t /*len*/)
{
    switch (reason) {
    case LWS_CALLBACK_RAW_RX_FILE:
        return read_lines(link_of(wsi));
    case LWS_CALLBACK_RAW_WRITEABLE_FILE:
        return write_command(link_of(wsi));
    case LWS_CALLBACK_RAW_CLOSE_FILE:
        on_closed(link_of(wsi));
        return 0;
    default:
        return 0;
    }
}

namespace
{

void source_start(WebServer &s)
{
    link_init(s.link, s, s.options.socket_path);
    link_start(s.link);
}

void source_stop(WebServer &s)
{
    link_stop(s.link);
}

int radio_count(const WebServer & /*s*/)
{
    return 1;
}

RadioInfo radio(const WebServer &s, int id)
{
    RadioInfo info;
    if (id != 0)
        return info;
    info.state = s.link.connected ? RadioState::Online : RadioState::Offline;
    info.daemon_connected = info.delivering = s.link.connected;
    info.lines = s.link.lines;
    info.dropped = s.link.dropped;
    return info;
}

bool submit(WebServer &s, int /*id*/, std::string_view json, unsigned browser_id,
            std::string &error)
{
    return link_submit(s.link, json, browser_id, error);
}

} // namespace

const RadioSource DAEMON_SOURCE = {false, source_start, source_stop, radio_count, radio, submit};
