// SPDX-License-Identifier: MIT
// The interface list: one vap_stat per network interface from the nl80211
// interface dump.
#include "handle.h"
#include "list.h"
#include "nl_attr.h"
#include "nl_dump.h"
#include "nl_handlers.h"
#include "refresh.h"

namespace airtally
{

static_assert(NL80211_ATTR_IFTYPE == 5 && NL80211_ATTR_SSID == 52 && NL80211_ATTR_4ADDR == 83);

int vap_handler(nl_msg *msg, void *arg)
{
    auto *h = static_cast<radiostats *>(arg);
    Nl80211Attrs a;
    uint32_t ifindex;
    if (!parse_nl80211_reply(msg, &a) || !attr_u32(a.tb[NL80211_ATTR_IFINDEX], &ifindex))
        return NL_SKIP;
    vap_stat *v = list_find_or_add(&h->vaps, &vap_stat::ifindex, ifindex);
    if (!v)
        return NL_SKIP;
    attr_u32(a.tb[NL80211_ATTR_WIPHY], &v->phy);
    attr_u32(a.tb[NL80211_ATTR_IFTYPE], &v->iftype);
    attr_bytes(a.tb[NL80211_ATTR_MAC], v->mac, sizeof(v->mac));
    attr_string(a.tb[NL80211_ATTR_IFNAME], v->ifname, sizeof(v->ifname));
    attr_u8(a.tb[NL80211_ATTR_4ADDR], &v->use_4addr);
    if (a.tb[NL80211_ATTR_SSID])
        nla_strlcpy(v->ssid, a.tb[NL80211_ATTR_SSID], sizeof(v->ssid));
    return NL_SKIP;
}

void keep_security(const vap_stat &held, vap_stat &fresh)
{
    // The security members are the daemon's answer (vap_stat_get_sock),
    // which the dump does not carry; they still describe the interface
    // while its role is the same.
    if (held.iftype != fresh.iftype)
        return;
    fresh.wpa = held.wpa;
    fresh.key_mgmt = held.key_mgmt;
    fresh.pairwise_cipher = held.pairwise_cipher;
    fresh.group_cipher = held.group_cipher;
}

} // namespace airtally

using namespace airtally;

extern "C" vap_stat *vap_stat_get_all_nl(radiostats *h)
{
    Refresh<vap_stat> refresh;
    refresh_begin(&refresh, &h->vaps);
    bool complete =
        nl80211_dump_step(h, "vap_stat_get_all_nl", {NL80211_CMD_GET_INTERFACE, vap_handler, ""});
    refresh_end(&refresh, complete, &vap_stat::ifindex, keep_security);
    return &h->vaps;
}
