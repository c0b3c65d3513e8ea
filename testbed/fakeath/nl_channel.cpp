// SPDX-License-Identifier: MIT
#include "nl_channel.h"

#include <linux/nl80211.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <memory>

namespace fakeath
{

namespace
{

struct SockFree {
    void operator()(nl_sock *s) const { nl_socket_free(s); }
};
struct MsgFree {
    void operator()(nl_msg *m) const { nlmsg_free(m); }
};
struct CbFree {
    void operator()(nl_cb *c) const { nl_cb_put(c); }
};

struct Query {
    unsigned phy;
    Channel *ch;
    bool found;
};

uint16_t width_mhz(uint32_t w)
{
    switch (w) {
    case NL80211_CHAN_WIDTH_5:
        return 5;
    case NL80211_CHAN_WIDTH_10:
        return 10;
    case NL80211_CHAN_WIDTH_40:
        return 40;
    case NL80211_CHAN_WIDTH_80:
        return 80;
    case NL80211_CHAN_WIDTH_80P80:
    case NL80211_CHAN_WIDTH_160:
        return 160;
    default:
        return 20;
    }
}

int on_interface(nl_msg *msg, void *arg)
{
    auto *q = static_cast<Query *>(arg);
    nlattr *tb[NL80211_ATTR_MAX + 1];
    auto *gnlh = static_cast<genlmsghdr *>(nlmsg_data(nlmsg_hdr(msg)));
    nla_parse(tb, NL80211_ATTR_MAX, genlmsg_attrdata(gnlh, 0), genlmsg_attrlen(gnlh, 0), nullptr);
    if (q->found || !tb[NL80211_ATTR_WIPHY] || !tb[NL80211_ATTR_WIPHY_FREQ])
        return NL_SKIP;
    if (nla_get_u32(tb[NL80211_ATTR_WIPHY]) != q->phy)
        return NL_SKIP;
    uint32_t freq = nla_get_u32(tb[NL80211_ATTR_WIPHY_FREQ]);
    if (tb[NL80211_ATTR_CENTER_FREQ1])
        freq = nla_get_u32(tb[NL80211_ATTR_CENTER_FREQ1]);
    q->ch->centre_mhz = static_cast<uint16_t>(freq);
    q->ch->width_mhz = tb[NL80211_ATTR_CHANNEL_WIDTH]
                           ? width_mhz(nla_get_u32(tb[NL80211_ATTR_CHANNEL_WIDTH]))
                           : 20;
    q->found = true;
    return NL_SKIP;
}

int on_finish(nl_msg *, void *arg)
{
    *static_cast<int *>(arg) = 0;
    return NL_STOP;
}

int on_error(sockaddr_nl *, nlmsgerr *err, void *arg)
{
    *static_cast<int *>(arg) = err->error;
    return NL_STOP;
}

} // namespace

int nl_phy_channel(unsigned phy, Channel &ch)
{
    std::unique_ptr<nl_sock, SockFree> sock(nl_socket_alloc());
    if (!sock || genl_connect(sock.get()) < 0)
        return -1;
    int family = genl_ctrl_resolve(sock.get(), "nl80211");
    if (family < 0)
        return -1;
    std::unique_ptr<nl_msg, MsgFree> msg(nlmsg_alloc());
    std::unique_ptr<nl_cb, CbFree> cb(nl_cb_alloc(NL_CB_DEFAULT));
    if (!msg || !cb)
        return -1;
    genlmsg_put(msg.get(), 0, 0, family, 0, NLM_F_DUMP, NL80211_CMD_GET_INTERFACE, 0);
    Channel found = ch;
    Query q{phy, &found, false};
    int done = 1;
    nl_cb_set(cb.get(), NL_CB_VALID, NL_CB_CUSTOM, on_interface, &q);
    nl_cb_set(cb.get(), NL_CB_FINISH, NL_CB_CUSTOM, on_finish, &done);
    nl_cb_err(cb.get(), NL_CB_CUSTOM, on_error, &done);
    if (nl_send_auto(sock.get(), msg.get()) < 0)
        return -1;
    while (done > 0)
        if (nl_recvmsgs(sock.get(), cb.get()) < 0)
            return -1;
    if (done < 0 || !q.found)
        return -1;
    ch = found;
    return 0;
}

} // namespace fakeath
