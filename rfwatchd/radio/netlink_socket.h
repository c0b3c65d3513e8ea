// SPDX-License-Identifier: MIT
// Ownership of libnl objects, and the two kinds of socket every request
// opens for itself.
#pragma once

#include "base/free_ptr.h"
#include "radio/radio_error.h"

#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <netlink/socket.h>

using NlSocket = FreePtr<nl_sock, nl_socket_free>;
using NlMessage = FreePtr<nl_msg, nlmsg_free>;
// A callback set is reference-counted; the guard drops this reference.
using NlCallbacks = FreePtr<nl_cb, nl_cb_put>;

// Generic netlink socket with the nl80211 family resolved. On failure the
// socket is empty and the reason has been written.
RadioError open_nl80211_socket(NlSocket &sock, int &family);

// Socket connected to NETLINK_ROUTE.
RadioError open_route_socket(NlSocket &sock);

// nlmsg_alloc / nl_cb_alloc(NL_CB_DEFAULT) into guards; empty on failure.
NlMessage make_message();
NlCallbacks make_callbacks();
