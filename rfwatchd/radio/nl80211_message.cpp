// SPDX-License-Identifier: MIT
#include "radio/nl80211_message.h"

#include <array>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

namespace
{

// Every attribute read from a reply is taken as a 32-bit value: without a
// length check a short attribute would be read past its end.
constexpr std::array<nla_policy, NL80211_ATTR_MAX + 1> make_reply_policy()
{
    std::array<nla_policy, NL80211_ATTR_MAX + 1> policy{};
    for (int attr :
         {NL80211_ATTR_WIPHY, NL80211_ATTR_IFINDEX, NL80211_ATTR_IFTYPE, NL80211_ATTR_WIPHY_FREQ,
          NL80211_ATTR_CHANNEL_WIDTH, NL80211_ATTR_CENTER_FREQ1})
        policy[attr].type = NLA_U32;
    return policy;
}

constexpr auto reply_policy = make_reply_policy();

} // namespace

bool put_nl80211_request(nl_msg *msg, int family, uint8_t cmd, int32_t ifindex)
{
    if (!genlmsg_put(msg, NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, 0, cmd, 0))
        return false;
    return nla_put_u32(msg, NL80211_ATTR_IFINDEX, static_cast<uint32_t>(ifindex)) == 0;
}

bool parse_nl80211_reply(nl_msg *msg, Nl80211Attrs &tb)
{
    nlmsghdr *nlh = nlmsg_hdr(msg);
    if (!genlmsg_valid_hdr(nlh, 0))
        return false;
    auto *gnlh = static_cast<genlmsghdr *>(nlmsg_data(nlh));
    return nla_parse(tb, NL80211_ATTR_MAX, genlmsg_attrdata(gnlh, 0), genlmsg_attrlen(gnlh, 0),
                     reply_policy.data()) == 0;
}
