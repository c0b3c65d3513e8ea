// SPDX-License-Identifier: MIT
#include "nl_dump.h"

#include "guards.h"
#include "handle.h"

#include <cstdio>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

namespace airtally
{

namespace
{

// The numbers are kernel ABI; the names come from the kernel's header.
static_assert(NL80211_CMD_GET_WIPHY == 1 && NL80211_CMD_GET_INTERFACE == 5 &&
              NL80211_CMD_GET_REG == 31);
static_assert(NL80211_ATTR_SPLIT_WIPHY_DUMP == 174);

// libnl's codes for the two failures before anything is sent.
constexpr int kNleNomem = -NLE_NOMEM;
constexpr int kNleMsgsize = -NLE_MSGSIZE;
static_assert(kNleNomem == -5 && kNleMsgsize == -9);

} // namespace

int nl80211_dump(radiostats *h, uint8_t cmd, nl_recvmsg_msg_cb_t handler)
{
    FreePtr<nl_msg, nlmsg_free> msg(nlmsg_alloc());
    if (!msg)
        return kNleNomem;
    if (!genlmsg_put(msg.get(), NL_AUTO_PORT, NL_AUTO_SEQ, h->nl->family, 0, NLM_F_DUMP, cmd, 0))
        return kNleMsgsize;
    if (cmd == NL80211_CMD_GET_WIPHY) {
        // Without it the kernel drops phys whose description exceeds one message.
        int rc = nla_put_flag(msg.get(), NL80211_ATTR_SPLIT_WIPHY_DUMP);
        if (rc < 0)
            return rc;
    }
    FreePtr<nl_cb, nl_cb_put> cb(nl_cb_alloc(NL_CB_DEFAULT));
    if (!cb)
        return kNleNomem;
    int rc = nl_cb_set(cb.get(), NL_CB_VALID, NL_CB_CUSTOM, handler, h);
    if (rc < 0)
        return rc;
    rc = nl_send_auto_complete(h->nl->sock, msg.get());
    if (rc < 0)
        return rc;
    return nl_recvmsgs(h->nl->sock, cb.get());
}

bool nl80211_dump_step(radiostats *h, const char *caller, const DumpStep &step)
{
    int rc = nl80211_dump(h, step.cmd, step.handler);
    if (rc < 0)
        std::fprintf(stderr, "%s: parsing nl80211 %sdumps failed with rc %d\n", caller, step.what,
                     rc);
    return rc >= 0;
}

bool parse_nl80211_reply(nl_msg *msg, Nl80211Attrs *attrs)
{
    nlmsghdr *nlh = nlmsg_hdr(msg);
    if (!genlmsg_valid_hdr(nlh, 0))
        return false;
    auto *gnlh = static_cast<genlmsghdr *>(nlmsg_data(nlh));
    return nla_parse(attrs->tb, kNl80211AttrParseMax, genlmsg_attrdata(gnlh, 0),
                     genlmsg_attrlen(gnlh, 0), nullptr) == 0;
}

} // namespace airtally
