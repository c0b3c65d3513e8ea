// SPDX-License-Identifier: MIT
#include "view_link.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace
{

int64_t now_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void on_line(void *context, std::string_view line)
{
    auto &v = *static_cast<ViewLink *>(context);
    v.line(v.line_context, line);
}

void on_change(void *context, LinkChange change, int error)
{
    auto &v = *static_cast<ViewLink *>(context);
    if (change == LinkChange::WriteFailed) {
        fprintf(stderr, "rfwatch-view: cannot send the commands: %s\n", strerror(error));
        v.status = 1;
    } else if (change == LinkChange::Closed)
        v.status = 2;
}

void on_done(void * /*context*/, const LinkCommand &command, bool sent)
{
    if (sent)
        fprintf(stderr, "rfwatch-view: sent %s\n", command.text.c_str());
}

// Hands the link as many of the remaining commands as it queues.
void queue_commands(ViewLink &v)
{
    while (v.queued < v.commands.size() &&
           link_submit(v.daemon, v.commands[v.queued], 0) == LinkSubmit::Queued)
        v.queued++;
}

} // namespace

bool view_link_open(ViewLink &v, const char *path, std::vector<std::string> commands, bool reading)
{
    link_init(v.daemon, path, {&v, on_line, on_change, on_done});
    v.commands = std::move(commands);
    v.queued = 0;
    v.reading = reading;
    v.status = 0;
    // A daemon whose backlog is full is there, only busy: waited for a
    // while, as a blocking connect would.
    for (int tries = 0; !link_connect(v.daemon, now_us()); tries++) {
        if (errno != EAGAIN || tries == 3000) {
            fprintf(stderr, "rfwatch-view: cannot connect to %s: %s\n", path, strerror(errno));
            return false;
        }
        usleep(10000);
    }
    queue_commands(v);
    return true;
}

pollfd view_link_poll(const ViewLink &v)
{
    short events = link_events(v.daemon);
    if (!v.reading)
        events &= ~POLLIN;
    // A stalled viewer waits on nothing once its commands are written (a
    // hang-up would wake every poll).
    return {events != 0 ? link_fd(v.daemon) : -1, events, 0};
}

bool view_link_handle(ViewLink &v, short revents)
{
    if (!v.reading)
        revents &= POLLOUT;
    if (revents != 0)
        link_handle(v.daemon, revents, now_us());
    queue_commands(v);
    return v.status == 0;
}
