// SPDX-License-Identifier: MIT
// A companion's one connection to rfwatchd, for any event loop: connects
// (again every second while the daemon is absent), splits what it reads into
// lines and writes queued commands, each ended by "\n" (the daemon takes
// several per read, so no spacing is needed). No thread and no loop of its
// own: a poll() loop asks link_fd / link_events / link_deadline and calls
// link_handle; rfwatchd_link_lws.h drives the same record from libwebsockets.
#pragma once

#include "line_buffer.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Bounded: a peer that sends commands faster than the daemon takes them is
// refused, not queued without end.
constexpr size_t LINK_COMMANDS = 8;
// rfwatchd reads at most 4096 bytes at a time and holds at most that much of
// a command cut by a partial write: a longer command (with its "\n") would
// reach it in pieces.
constexpr size_t LINK_COMMAND_MAX_BYTES = 4096;
// A local connect costs one system call and disturbs nobody, so there is
// nothing to protect by backing off further; a restarted daemon is picked up
// within a second.
constexpr int64_t LINK_RETRY_US = 1000000;

enum class LinkChange {
    Connected,
    Unreachable, // the first failed attempt of an outage (errno in error)
    Closed,      // the daemon closed the connection (error 0) or reading failed
    WriteFailed, // writing a command failed (errno in error)
};

struct LinkCommand {
    std::string text; // without its "\n"
    uint64_t tag;     // the caller's, handed back with the outcome
};

// What the link reports. line is required; the others may be null.
struct LinkSink {
    void *context;
    void (*line)(void *context, std::string_view line);
    void (*change)(void *context, LinkChange change, int error);
    // A command was written whole (sent) or dropped with the connection.
    // On a loss, commands are reported before the change.
    void (*done)(void *context, const LinkCommand &command, bool sent);
};

struct DaemonLink {
    std::string socket_path;
    LinkSink sink;
    int fd;              // -1: not connected
    bool loop_owns_fd;   // the event loop closes fd (an adopted descriptor)
    LineBuffer lines_in; // lines_in.overlongs: lines skipped for their length
    std::array<LinkCommand, LINK_COMMANDS> commands;
    size_t command_head, command_count;
    size_t head_written; // bytes of the first command (with its "\n") written
    int64_t next_attempt_us;
    bool reported_unreachable; // one report per outage, not per attempt
};

// The first link_handle (or link_connect) connects at once.
void link_init(DaemonLink &l, std::string_view socket_path, LinkSink sink);
// Closes the connection; queued commands are reported as not sent.
void link_close(DaemonLink &l);
bool link_connected(const DaemonLink &l);

// Tries to connect now; false: not connected, next try at now + LINK_RETRY_US.
bool link_connect(DaemonLink &l, int64_t now_us);
// The loss of the connection: drops the commands, reports why.
void link_lost(DaemonLink &l, int64_t now_us, LinkChange why, int error);

// The poll form. fd to poll (-1 while not connected), its events (POLLIN,
// and POLLOUT while commands wait), the time by which link_handle must be
// called even without events.
int link_fd(const DaemonLink &l);
short link_events(const DaemonLink &l);
int64_t link_deadline(const DaemonLink &l);
// Reads lines, writes commands (as many as the socket takes; a partial
// write keeps the rest for the next call), or connects when due.
void link_handle(DaemonLink &l, short revents, int64_t now_us);

enum class LinkSubmit { Queued, NotConnected, QueueFull, TooLong };
const char *link_submit_message(LinkSubmit result);
// Queues a command (a line feed in it, JSON white space, becomes a space so
// that it stays one command).
LinkSubmit link_submit(DaemonLink &l, std::string_view command, uint64_t tag);
