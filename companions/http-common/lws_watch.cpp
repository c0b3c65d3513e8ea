// SPDX-License-Identifier: MIT
#include "lws_watch.h"

#include <algorithm>

const char *const LWS_WATCH_PROTOCOL_NAME = "lws-watch";

namespace
{

void on_timer(lws_sorted_usec_list_t *sul)
{
    LwsWatch &w = *lws_container_of(sul, LwsWatch, sul);
    if (!w.stopping)
        w.hook(w, LwsWatchEvent::Timer);
}

} // namespace

void lws_watch_init(LwsWatch &w, LwsWatchHook hook, void *owner, struct lws_context *context,
                    struct lws_vhost *vhost)
{
    w = LwsWatch{hook, owner, context, vhost, nullptr, false, {}};
}

bool lws_watch_adopt(LwsWatch &w, int fd)
{
    lws_adopt_desc_t desc{};
    desc.vh = w.vhost;
    desc.type = LWS_ADOPT_RAW_FILE_DESC;
    desc.fd.filefd = fd;
    desc.vh_prot_name = LWS_WATCH_PROTOCOL_NAME;
    desc.opaque = &w;
    w.wsi = fd < 0 ? nullptr : lws_adopt_descriptor_vhost_via_info(&desc);
    return w.wsi != nullptr;
}

void lws_watch_writable(LwsWatch &w)
{
    if (w.wsi != nullptr)
        lws_callback_on_writable(w.wsi);
}

void lws_watch_schedule(LwsWatch &w, int64_t delay_us)
{
    lws_sul_schedule(w.context, 0, &w.sul, on_timer, std::max<int64_t>(0, delay_us));
}

void lws_watch_stop(LwsWatch &w)
{
    w.stopping = true;
    lws_sul_cancel(&w.sul);
}

int lws_watch_callback(struct lws *wsi, enum lws_callback_reasons reason, void * /*user*/,
                       void * /*in*/, size_t /*len*/)
{
    auto *w = static_cast<LwsWatch *>(lws_get_opaque_user_data(wsi));
    if (w == nullptr)
        return 0;
    switch (reason) {
    case LWS_CALLBACK_RAW_RX_FILE:
        return w->hook(*w, LwsWatchEvent::Readable);
    case LWS_CALLBACK_RAW_WRITEABLE_FILE:
        return w->hook(*w, LwsWatchEvent::Writable);
    case LWS_CALLBACK_RAW_CLOSE_FILE:
        w->wsi = nullptr;
        return w->stopping ? 0 : w->hook(*w, LwsWatchEvent::Closed);
    default:
        return 0;
    }
}
