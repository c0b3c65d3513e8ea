// Ownership of libnl objects, and the two kinds of socket every request
// opens for itself.
#pragma once

#include "radio/radio_error.h"

#include <memory>

struct nl_sock;
struct nl_msg;
struct nl_cb;

struct NlSocketFree {
    void operator()(nl_sock *sock) const;
};
struct NlMessageFree {
    void operator()(nl_msg *msg) const;
};
struct NlCallbacksPut {
    void operator()(nl_cb *cb) const;
};

using NlSocket = std::unique_ptr<nl_sock, NlSocketFree>;
using NlMessage = std::unique_ptr<nl_msg, NlMessageFree>;
using NlCallbacks = std::unique_ptr<nl_cb, NlCallbacksPut>;

// Generic netlink socket with the nl80211 family resolved. On failure the
// socket is empty and the reason has been written.
RadioError open_nl80211_socket(NlSocket &sock, int &family);

// Socket connected to NETLINK_ROUTE.
RadioError open_route_socket(NlSocket &sock);

// nlmsg_alloc / nl_cb_alloc(NL_CB_DEFAULT) into guards; empty on failure.
NlMessage make_message();
NlCallbacks make_callbacks();
