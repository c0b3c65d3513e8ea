// SPDX-License-Identifier: MIT
// The one netlink conversation of the library: an nl80211 dump whose reply
// messages each go through a handler.
#pragma once

#include <cstdint>
#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/handlers.h>

struct radiostats;

namespace airtally
{

// Handlers parse every top-level attribute up to this number; a newer
// kernel's higher numbers are ignored by nla_parse.
constexpr int kNl80211AttrParseMax = 326;
constexpr int kBandAttrParseMax = 13;
constexpr int kBandIftypeAttrParseMax = 11;

// Sends one dump request for `cmd` (adding the split-dump flag for wiphy
// dumps) and runs `handler` with the handle on every reply message.
// 0 or a negative libnl error code.
int nl80211_dump(radiostats *h, uint8_t cmd, nl_recvmsg_msg_cb_t handler);

// One dump of a public call: the request, its handler, and the word its
// failure line names it by ("wiphy ", or "" for a call of one dump).
struct DumpStep {
    uint8_t cmd;
    nl_recvmsg_msg_cb_t handler;
    const char *what;
};
// Runs the dump; false after a failure, which prints "<caller>: parsing
// nl80211 <what>dumps failed with rc <rc>" on standard error (standard
// output is the caller's).
bool nl80211_dump_step(radiostats *h, const char *caller, const DumpStep &step);

// The parsed top-level attributes of one reply message.
struct Nl80211Attrs {
    nlattr *tb[kNl80211AttrParseMax + 1];
};
// Fills `attrs` from a reply message; false when it cannot be parsed.
bool parse_nl80211_reply(nl_msg *msg, Nl80211Attrs *attrs);

} // namespace airtally
