// SPDX-License-Identifier: MIT
#include "radio/link_state.h"

#include "base/log.h"
#include "radio/netlink_request.h"

#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <netlink/errno.h>
#include <netlink/msg.h>
#include <sys/socket.h>

namespace
{

const char *up_text(bool up)
{
    return up ? "UP" : "DOWN";
}

} // namespace

bool build_link_request(nl_msg *msg, int type, int32_t ifindex, uint32_t flags, uint32_t change)
{
    nlmsghdr *nlh = nlmsg_put(msg, NL_AUTO_PORT, NL_AUTO_SEQ, type, sizeof(ifinfomsg), 0);
    if (!nlh)
        return false;
    auto *ifi = static_cast<ifinfomsg *>(nlmsg_data(nlh));
    *ifi = ifinfomsg{};
    ifi->ifi_family = AF_UNSPEC;
    ifi->ifi_index = ifindex;
    ifi->ifi_flags = flags;
    ifi->ifi_change = change;
    return true;
}

int link_reply_handler(nl_msg *msg, void *context)
{
    auto &mark = *static_cast<uint8_t *>(context);
    nlmsghdr *nlh = nlmsg_hdr(msg);
    // A reply too short for its ifinfomsg tells nothing; reading it would
    // run past the message.
    if (!nlmsg_valid_hdr(nlh, sizeof(ifinfomsg)))
        return NL_OK;
    const auto *ifi = static_cast<const ifinfomsg *>(nlmsg_data(nlh));
    mark = (ifi->ifi_flags & IFF_UP) ? 1 : 0;
    return NL_OK;
}

RadioError query_link_up(const InterfaceInfo &iface, uint8_t &mark)
{
    if (iface.ifindex < 0)
        return RadioError::MonitorNotFound;
    auto build = [&](nl_msg *msg, int) {
        return build_link_request(msg, RTM_GETLINK, iface.ifindex, 0, 0);
    };
    auto ready = [&] { mark = 0; };
    NlRun run = run_route_reply({RadioRequest::GetLink, iface.name, build, ready},
                                link_reply_handler, &mark);
    if (run.stage == NlStage::Receive)
        log_text(texts_of(RadioRequest::GetLink).refused, iface.name, nl_geterror(run.error));
    return run.result;
}

RadioError set_link_up(const InterfaceInfo &iface, bool up)
{
    if (iface.ifindex < 0)
        return RadioError::MonitorNotFound;
    // ifi_change masks every flag but IFF_UP, so promiscuous mode and the
    // like stay as they are.
    auto build = [&](nl_msg *msg, int) {
        return build_link_request(msg, RTM_NEWLINK, iface.ifindex, up ? IFF_UP : 0, IFF_UP);
    };
    auto ready = [&] {
        log_text("Setting interface %s (idx=%d) %s\n", iface.name, iface.ifindex, up_text(up));
    };
    NlRun run =
        run_ack_request(NlSocketKind::Route, {RadioRequest::NewLink, iface.name, build, ready});
    if (run.stage == NlStage::Receive)
        log_text(texts_of(RadioRequest::NewLink).refused, iface.name, up_text(up),
                 nl_geterror(run.error));
    return run.result;
}
