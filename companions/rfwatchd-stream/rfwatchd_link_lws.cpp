#include "rfwatchd_link_lws.h"

#include <poll.h>

const char *const LINK_LWS_PROTOCOL_NAME = "rfwatchd-link";

namespace
{

void on_retry_timer(lws_sorted_usec_list_t *sul)
{
    link_lws_start(*lws_container_of(sul, DaemonLinkLws, retry_timer));
}

void retry_later(DaemonLinkLws &a)
{
    if (!a.stopping)
        lws_sul_schedule(a.context, 0, &a.retry_timer, on_retry_timer, LINK_RETRY_US);
}

// The link's answer to an lws event: -1 asks lws to close the descriptor.
int drive(DaemonLinkLws &a, short revents)
{
    link_handle(*a.link, revents, lws_now_usecs());
    if (!link_connected(*a.link))
        return -1;
    if (link_events(*a.link) & POLLOUT)
        lws_callback_on_writable(a.wsi);
    return 0;
}

} // namespace

void link_lws_init(DaemonLinkLws &a, DaemonLink &link, struct lws_context *context,
                   struct lws_vhost *vhost)
{
    a.link = &link;
    a.context = context;
    a.vhost = vhost;
    a.wsi = nullptr;
    a.stopping = false;
    a.retry_timer = {};
    link.loop_owns_fd = true;
}

void link_lws_start(DaemonLinkLws &a)
{
    if (a.stopping || link_connected(*a.link))
        return;
    if (!link_connect(*a.link, lws_now_usecs())) {
        retry_later(a);
        return;
    }
    lws_adopt_desc_t desc{};
    desc.vh = a.vhost;
    desc.type = LWS_ADOPT_RAW_FILE_DESC;
    desc.fd.filefd = link_fd(*a.link);
    desc.vh_prot_name = LINK_LWS_PROTOCOL_NAME;
    desc.opaque = &a;
    a.wsi = lws_adopt_descriptor_vhost_via_info(&desc);
    if (a.wsi == nullptr) { // lws closed the descriptor
        link_lost(*a.link, lws_now_usecs(), LinkChange::Closed, 0);
        retry_later(a);
        return;
    }
    // Commands queued by the Connected report go out at once.
    if (link_events(*a.link) & POLLOUT)
        lws_callback_on_writable(a.wsi);
}

void link_lws_stop(DaemonLinkLws &a)
{
    a.stopping = true;
    lws_sul_cancel(&a.retry_timer);
}

LinkSubmit link_lws_submit(DaemonLinkLws &a, std::string_view command, uint64_t tag)
{
    const LinkSubmit r = link_submit(*a.link, command, tag);
    if (r == LinkSubmit::Queued && a.wsi != nullptr)
        lws_callback_on_writable(a.wsi);
    return r;
}

int link_lws_callback(struct lws *wsi, enum lws_callback_reasons reason, void * /*user*/,
                      void * /*in*/, size_t /*len*/)
{
    auto *a = static_cast<DaemonLinkLws *>(lws_get_opaque_user_data(wsi));
    if (a == nullptr)
        return 0;
    switch (reason) {
    case LWS_CALLBACK_RAW_RX_FILE:
        return drive(*a, POLLIN);
    case LWS_CALLBACK_RAW_WRITEABLE_FILE:
        return drive(*a, POLLOUT);
    case LWS_CALLBACK_RAW_CLOSE_FILE:
        a->wsi = nullptr;
        // lws closed it for its own reasons (the link already knows when
        // it asked for the close itself).
        if (link_connected(*a->link) && !a->stopping)
            link_lost(*a->link, lws_now_usecs(), LinkChange::Closed, 0);
        retry_later(*a);
        return 0;
    default:
        return 0;
    }
}
