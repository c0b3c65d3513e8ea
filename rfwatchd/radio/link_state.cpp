#include "radio/link_state.h"

#include "base/log.h"
#include "radio/netlink_request.h"
#include "radio/netlink_socket.h"

#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <netlink/errno.h>
#include <netlink/handlers.h>
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
    auto *ifi = static_cast<const ifinfomsg *>(nlmsg_data(nlh));
    mark = (ifi->ifi_flags & IFF_UP) ? 1 : 0;
    return NL_OK;
}

RadioError query_link_up(const InterfaceInfo &iface, uint8_t &mark)
{
    if (iface.ifindex < 0)
        return RadioError::MonitorNotFound;
    NlSocket sock;
    RadioError err = open_route_socket(sock);
    if (err != RadioError::Success)
        return err;
    NlMessage msg = make_message();
    if (!msg) {
        log_text("Failed to allocate netlink message for interface state query\n");
        return RadioError::NetlinkInitFailed;
    }
    if (!build_link_request(msg.get(), RTM_GETLINK, iface.ifindex, 0, 0)) {
        log_text("Failed to build GETLINK for %s\n", iface.name);
        return RadioError::NetlinkInitFailed;
    }
    NlCallbacks cb = make_callbacks();
    if (!cb)
        return RadioError::NetlinkInitFailed;
    mark = 0;
    NlOutcome outcome =
        nl_request_reply(sock.get(), msg.get(), cb.get(), link_reply_handler, &mark);
    if (outcome.stage == NlStage::Send) {
        log_text("Failed to send GETLINK for %s: %s\n", iface.name, nl_geterror(outcome.error));
        return RadioError::LinkQueryFailed;
    }
    if (outcome.stage == NlStage::Receive) {
        log_text("Failed to receive GETLINK response for %s: %s\n", iface.name,
                 nl_geterror(outcome.error));
        return RadioError::LinkQueryFailed;
    }
    return RadioError::Success;
}

RadioError set_link_up(const InterfaceInfo &iface, bool up)
{
    if (iface.ifindex < 0)
        return RadioError::MonitorNotFound;
    NlSocket sock;
    RadioError err = open_route_socket(sock);
    if (err != RadioError::Success)
        return err;
    NlMessage msg = make_message();
    if (!msg) {
        log_text("Failed to allocate netlink message for interface state set\n");
        return RadioError::NetlinkInitFailed;
    }
    // ifi_change masks every flag but IFF_UP, so promiscuous mode and the
    // like stay as they are.
    if (!build_link_request(msg.get(), RTM_NEWLINK, iface.ifindex, up ? IFF_UP : 0, IFF_UP)) {
        log_text("Failed to build NEWLINK for %s\n", iface.name);
        return RadioError::NetlinkInitFailed;
    }
    log_text("Setting interface %s (idx=%d) %s\n", iface.name, iface.ifindex, up_text(up));
    NlOutcome outcome = nl_request_ack(sock.get(), msg.get());
    if (outcome.stage == NlStage::Send) {
        log_text("Failed to send NEWLINK for %s: %s\n", iface.name, nl_geterror(outcome.error));
        return RadioError::LinkSetFailed;
    }
    if (outcome.stage == NlStage::Receive) {
        log_text("Failed to set interface %s %s: %s\n", iface.name, up_text(up),
                 nl_geterror(outcome.error));
        return RadioError::LinkSetFailed;
    }
    return RadioError::Success;
}
