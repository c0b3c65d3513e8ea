// SPDX-License-Identifier: MIT
// The monitor interface's current channel, asked of nl80211.
#pragma once

#include "radio/netlink_request.h"
#include "radio/radio_control.h"
#include "radio/radio_error.h"

struct nl_msg;

struct CurrentChannel {
    uint32_t frequency;   // MHz: centre for 80 MHz and wider, else control
    uint32_t width;       // MHz; 0 when no reply came
    bool frequency_found; // a frequency attribute was present
    const char *name;     // queried interface, valid only during the query
};

// Fails when no reply that gives the width arrives within 2 s (the reply
// is an error, never comes, or cannot be read): the width is then unknown.
RadioError query_current_channel(const RadioControl &rc, CurrentChannel &out);
// The query's result from how its conversation ended and what the handler
// stored.
RadioError channel_query_result(const NlRun &run, const CurrentChannel &out);

// MHz of an nl80211_chan_width value: 0,1 -> 20, 2 -> 40, 3 -> 80,
// 4,5 -> 160, anything above -> 20.
uint32_t width_mhz_of_nl80211(uint32_t chan_width);

// NL_CB_VALID handler; context is a CurrentChannel.
int channel_reply_handler(nl_msg *msg, void *context);
