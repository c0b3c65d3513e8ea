// SPDX-License-Identifier: MIT
#include "radio/netlink_socket.h"

#include "base/log.h"

#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

RadioError open_nl80211_socket(NlSocket &sock, int &family)
{
    sock.reset(nl_socket_alloc());
    if (!sock) {
        // Same words whatever the socket is for: callers grep for them.
        log_text("Failed to allocate dedicated netlink socket for channel setting\n");
        return RadioError::NetlinkInitFailed;
    }
    int err = genl_connect(sock.get());
    if (err < 0) {
        log_text("Failed to connect dedicated netlink socket: %s\n", nl_geterror(err));
        sock.reset();
        return RadioError::NetlinkInitFailed;
    }
    int id = genl_ctrl_resolve(sock.get(), "nl80211");
    if (id < 0) {
        log_text("Failed to resolve nl80211 family on dedicated socket: %s\n", nl_geterror(id));
        sock.reset();
        return RadioError::NetlinkInitFailed;
    }
    family = id;
    return RadioError::Success;
}

RadioError open_route_socket(NlSocket &sock)
{
    sock.reset(nl_socket_alloc());
    if (!sock) {
        log_text("Failed to allocate RTNL netlink socket\n");
        return RadioError::NetlinkInitFailed;
    }
    int err = nl_connect(sock.get(), NETLINK_ROUTE);
    if (err < 0) {
        log_text("Failed to connect RTNL socket: %s\n", nl_geterror(err));
        sock.reset();
        return RadioError::NetlinkInitFailed;
    }
    return RadioError::Success;
}

NlMessage make_message()
{
    return NlMessage(nlmsg_alloc());
}

NlCallbacks make_callbacks()
{
    return NlCallbacks(nl_cb_alloc(NL_CB_DEFAULT));
}
