#include "radio/netlink_socket.h"

#include <cstdio>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

void NlSocketFree::operator()(nl_sock *sock) const
{
    nl_socket_free(sock);
}
void NlMessageFree::operator()(nl_msg *msg) const
{
    nlmsg_free(msg);
}
void NlCallbacksPut::operator()(nl_cb *cb) const
{
    nl_cb_put(cb);
}

RadioError open_nl80211_socket(NlSocket &sock, int &family)
{
    sock.reset(nl_socket_alloc());
    if (!sock) {
        // Same words whatever the socket is for: callers grep for them.
        std::fprintf(stderr, "Failed to allocate dedicated netlink socket for channel setting\n");
        return RadioError::NetlinkInitFailed;
    }
    int err = genl_connect(sock.get());
    if (err < 0) {
        std::fprintf(stderr, "Failed to connect dedicated netlink socket: %s\n", nl_geterror(err));
        sock.reset();
        return RadioError::NetlinkInitFailed;
    }
    int id = genl_ctrl_resolve(sock.get(), "nl80211");
    if (id < 0) {
        std::fprintf(stderr, "Failed to resolve nl80211 family on dedicated socket: %s\n",
                     nl_geterror(id));
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
        std::fprintf(stderr, "Failed to allocate RTNL netlink socket\n");
        return RadioError::NetlinkInitFailed;
    }
    int err = nl_connect(sock.get(), NETLINK_ROUTE);
    if (err < 0) {
        std::fprintf(stderr, "Failed to connect RTNL socket: %s\n", nl_geterror(err));
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
