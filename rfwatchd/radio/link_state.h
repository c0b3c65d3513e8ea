// SPDX-License-Identifier: MIT
// Administrative up flag of an interface, over rtnetlink.
#pragma once

#include "radio/radio_control.h"
#include "radio/radio_error.h"

#include <cstdint>

struct nl_msg;

// On Success bit 0 of mark is the interface's IFF_UP.
RadioError query_link_up(const InterfaceInfo &iface, uint8_t &mark);

// Sets or clears IFF_UP only; every other flag stays as it is.
RadioError set_link_up(const InterfaceInfo &iface, bool up);

// RTM_GETLINK or RTM_NEWLINK with an ifinfomsg and no attributes. False when
// the message is full.
bool build_link_request(nl_msg *msg, int type, int32_t ifindex, uint32_t flags, uint32_t change);

// NL_CB_VALID handler; context is the uint8_t mark.
int link_reply_handler(nl_msg *msg, void *context);
