#include "rfwatchd_link_lws.h"

#include <poll.h>

namespace
{

DaemonLink &link_of(LwsWatch &w)
{
    return *static_cast<DaemonLinkLws *>(w.owner)->link;
}

// The link's answer to an lws event: -1 asks lws to close the descriptor.
int on_io(LwsWatch &w, bool readable, bool /*writable*/)
{
    DaemonLink &link = link_of(w);
    link_handle(link, readable ? POLLIN : POLLOUT, lws_now_usecs());
    if (!link_connected(link))
        return -1;
    if (link_events(link) & POLLOUT)
        lws_watch_writable(w);
    return 0;
}

void on_closed(LwsWatch &w)
{
    // lws closed it for its own reasons (the link already knows when it
    // asked for the close itself).
    if (link_connected(link_of(w)))
        link_lost(link_of(w), lws_now_usecs(), LinkChange::Closed, 0);
    lws_watch_schedule(w, LINK_RETRY_US);
}

void on_retry(LwsWatch &w)
{
    link_lws_start(*static_cast<DaemonLinkLws *>(w.owner));
}

} // namespace

void link_lws_init(DaemonLinkLws &a, DaemonLink &link, struct lws_context *context,
                   struct lws_vhost *vhost)
{
    a.link = &link;
    link.loop_owns_fd = true;
    lws_watch_init(a.watch, {on_io, on_closed, on_retry}, &a, context, vhost);
}

void link_lws_start(DaemonLinkLws &a)
{
    if (a.watch.stopping || link_connected(*a.link))
        return;
    if (!link_connect(*a.link, lws_now_usecs())) {
        lws_watch_schedule(a.watch, LINK_RETRY_US);
        return;
    }
    if (!lws_watch_adopt(a.watch, link_fd(*a.link))) { // lws closed the descriptor
        link_lost(*a.link, lws_now_usecs(), LinkChange::Closed, 0);
        lws_watch_schedule(a.watch, LINK_RETRY_US);
        return;
    }
    // Commands queued by the Connected report go out at once.
    if (link_events(*a.link) & POLLOUT)
        lws_watch_writable(a.watch);
}

void link_lws_stop(DaemonLinkLws &a)
{
    lws_watch_stop(a.watch);
}

LinkSubmit link_lws_submit(DaemonLinkLws &a, std::string_view command, uint64_t tag)
{
    const LinkSubmit r = link_submit(*a.link, command, tag);
    if (r == LinkSubmit::Queued)
        lws_watch_writable(a.watch);
    return r;
}
