// SPDX-License-Identifier: MIT
#include "radio/discovery.h"

#include "base/log.h"
#include "radio/netlink_request.h"
#include "radio/nl80211_message.h"

#include <cstring>
#include <net/if.h>
#include <netlink/attr.h>
#include <netlink/errno.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>

int interface_reply_handler(nl_msg *msg, void *context)
{
    auto &reply = *static_cast<InterfaceReply *>(context);
    Nl80211Attrs tb;
    if (!parse_nl80211_reply(msg, tb)) {
        log_text("Failed to parse netlink attributes for interface %s\n", reply.name);
        return NL_SKIP;
    }
    if (!tb[NL80211_ATTR_WIPHY]) {
        log_text("nl80211: No wiphy attribute found for interface %s\n", reply.name);
        return NL_SKIP;
    }
    reply.phy = nla_get_u32(tb[NL80211_ATTR_WIPHY]);
    reply.found = true;
    log_text("nl80211: Interface %s belongs to phy%u\n", reply.name, reply.phy);
    // The type only informs: a monitor that is not (yet) in monitor mode can
    // still carry a spectral scan.
    if (tb[NL80211_ATTR_IFTYPE]) {
        uint32_t type = nla_get_u32(tb[NL80211_ATTR_IFTYPE]);
        if (type == NL80211_IFTYPE_MONITOR) {
            reply.is_monitor = true;
            log_text("nl80211: Interface %s confirmed as monitor mode\n", reply.name);
        } else {
            log_text("nl80211: Warning - Interface %s is not in monitor mode (type: %u)\n",
                     reply.name, type);
        }
    }
    return NL_OK;
}

RadioError discover_interface(const char *name, InterfaceInfo &out)
{
    // The kernel takes names of up to 15 characters (IFNAMSIZ with its NUL);
    // a longer one cannot name an interface and would not fit the record.
    if (std::strlen(name) >= INTERFACE_NAME_SIZE) {
        log_text("Interface name would truncate: %s\n", name);
        return RadioError::InvalidParameters;
    }
    unsigned index = if_nametoindex(name);
    if (index == 0) {
        log_text("Interface '%s' does not exist\n", name);
        return RadioError::MonitorNotFound;
    }
    std::memcpy(out.name, name, std::strlen(name) + 1);
    out.ifindex = static_cast<int32_t>(index);

    auto build = [&](nl_msg *msg, int family) {
        return put_nl80211_request(msg, family, NL80211_CMD_GET_INTERFACE, out.ifindex);
    };
    auto ready = [&] { log_text("Queried interface name: %s\n", out.name); };
    InterfaceReply reply{UINT32_MAX, false, false, out.name};
    NlRun run = run_nl80211_reply({RadioRequest::InterfaceQuery, out.name, build, ready},
                                  interface_reply_handler, &reply);
    if (run.stage == NlStage::Receive)
        log_text(texts_of(RadioRequest::InterfaceQuery).refused, out.name, nl_geterror(run.error));
    if (run.result != RadioError::Success)
        return run.result;

    if (reply.found && reply.phy != UINT32_MAX) {
        out.phy = reply.phy;
        log_text("Interface '%s' (ifindex %d) successfully mapped to phy%u via nl80211\n", out.name,
                 out.ifindex, out.phy);
        return RadioError::Success;
    }
    log_text("Failed to determine phy index for interface %s via nl80211\n", out.name);
    return RadioError::PhyNotFound;
}
