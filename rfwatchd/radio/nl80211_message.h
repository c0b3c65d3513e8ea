// SPDX-License-Identifier: MIT
// The common shape of this daemon's nl80211 requests and the parsing of
// their replies.
#pragma once

#include <cstdint>
#include <linux/nl80211.h>

struct nl_msg;
struct nlattr;

// Generic-netlink header (automatic port and sequence, no flags, version 0)
// for cmd, followed by NL80211_ATTR_IFINDEX. False when the message is full.
bool put_nl80211_request(nl_msg *msg, int family, uint8_t cmd, int32_t ifindex);

using Nl80211Attrs = nlattr * [NL80211_ATTR_MAX + 1];

// Fills tb from a reply. False when the reply is not a complete
// generic-netlink message or an attribute read here is shorter than its
// 32-bit value.
bool parse_nl80211_reply(nl_msg *msg, Nl80211Attrs &tb);
