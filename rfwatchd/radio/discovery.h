// SPDX-License-Identifier: MIT
// Which phy an interface belongs to, asked of nl80211.
#pragma once

#include "radio/radio_control.h"
#include "radio/radio_error.h"

struct nl_msg;

// Fills name, ifindex and phy. Names of up to 15 characters are accepted.
RadioError discover_interface(const char *name, InterfaceInfo &out);

// Context of the GET_INTERFACE reply handler of discovery.
struct InterfaceReply {
    uint32_t phy; // all ones until a reply names one
    bool found;
    bool is_monitor;
    const char *name; // for the log lines
};

// NL_CB_VALID handler; context is an InterfaceReply.
int interface_reply_handler(nl_msg *msg, void *context);
