// rfwatch-mqtt's connection to rfwatchd's socket: read all the time,
// split into lines, and write commands one per write, spaced, so the
// daemon reads each alone (it takes only the first JSON value of a read).
#pragma once

#include "line_buffer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Bounded: commands arrive faster than they may be written only when a
// publisher floods the topic, and then the newest are refused.
constexpr size_t DAEMON_COMMANDS = 8;
constexpr int64_t DAEMON_COMMAND_GAP_US = 200000;

struct DaemonSide {
    std::string socket_path;
    int period_ms; // 0: no aggregation command on connecting
    int fd;        // -1: not connected
    std::unique_ptr<LineBuffer> lines_in;
    std::array<std::string, DAEMON_COMMANDS> commands;
    size_t command_head, command_count;
    int64_t last_write_us;
    int64_t next_attempt_us;
    int64_t backoff_us;
    bool was_reported_unreachable; // one line per outage, not per attempt
};

void daemon_init(DaemonSide &d, std::string_view socket_path, int period_ms);
void daemon_close(DaemonSide &d);
bool daemon_connected(const DaemonSide &d);

// Connects when due. true: the connection state changed.
bool daemon_tick(DaemonSide &d, int64_t now_us);
// poll() events to ask for: POLLIN always, POLLOUT when a command may go.
short daemon_events(const DaemonSide &d, int64_t now_us);
// The next time daemon_tick or a command write has something to do.
int64_t daemon_deadline(const DaemonSide &d, int64_t now_us);

using DaemonLineSink = void (*)(void *context, std::string_view line);
// Handles poll()'s revents: reads (lines go to sink; overlong ones are
// counted in lines_in->overlongs) and writes one command when due.
// true: the connection was lost.
bool daemon_handle(DaemonSide &d, short revents, int64_t now_us, DaemonLineSink sink,
                   void *context);

// Queues a checked command; false: error says why it was not.
bool daemon_submit(DaemonSide &d, std::string_view json, std::string &error);
