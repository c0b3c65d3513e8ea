// SPDX-License-Identifier: MIT
#include "rfwatchd_link_lws.h"

#include <poll.h>

namespace
{

DaemonLink &link_of(const LwsWatch &w)
{
    return *static_cast<DaemonLink *>(w.owner);
}

void connect_now(LwsWatch &w)
{
    DaemonLink &link = link_of(w);
    if (w.stopping || link_connected(link))
        return;
    if (!link_connect(link, lws_now_usecs())) {
        lws_watch_schedule(w, LINK_RETRY_US);
    } else if (!lws_watch_adopt(w, link_fd(link))) { // lws closed the descriptor
        link_lost(link, lws_now_usecs(), LinkChange::Closed, 0);
        lws_watch_schedule(w, LINK_RETRY_US);
    } else if (link_events(link) & POLLOUT) {
        lws_watch_writable(w); // commands queued by the Connected report
    }
}

int on_event(LwsWatch &w, LwsWatchEvent e)
{
    DaemonLink &link = link_of(w);
    switch (e) {
    case LwsWatchEvent::Timer:
        connect_now(w);
        return 0;
    case LwsWatchEvent::Closed:
        // lws closed it for its own reasons (the link already knows when
        // it asked for the close itself).
        if (link_connected(link))
            link_lost(link, lws_now_usecs(), LinkChange::Closed, 0);
        lws_watch_schedule(w, LINK_RETRY_US);
        return 0;
    case LwsWatchEvent::Readable:
    case LwsWatchEvent::Writable:
        break;
    }
    link_handle(link, e == LwsWatchEvent::Readable ? POLLIN : POLLOUT, lws_now_usecs());
    if (!link_connected(link))
        return -1; // lws closes the descriptor
    if (link_events(link) & POLLOUT)
        lws_watch_writable(w);
    return 0;
}

} // namespace

void link_lws_start(LwsWatch &w, DaemonLink &link, struct lws_context *context,
                    struct lws_vhost *vhost)
{
    link.loop_owns_fd = true;
    lws_watch_init(w, on_event, &link, context, vhost);
    connect_now(w);
}

LinkSubmit link_lws_submit(LwsWatch &w, std::string_view command, uint64_t tag)
{
    const LinkSubmit r = link_submit(link_of(w), command, tag);
    if (r == LinkSubmit::Queued)
        lws_watch_writable(w);
    return r;
}
