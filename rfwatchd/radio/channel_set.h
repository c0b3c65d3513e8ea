// SPDX-License-Identifier: MIT
// Tuning to one channel: the monitor phy over nl80211 during an active
// sweep, only the spectral scan during an agile one.
#pragma once

#include "radio/radio_control.h"
#include "radio/radio_error.h"

struct nl_msg;

// frequency_mhz is the centre of the whole channel for widths 80 and 160 and
// the control channel for 20 and 40; other widths are tuned as HT20.
RadioError set_channel(RadioControl &rc, uint32_t frequency_mhz, uint32_t width_mhz);

// The SET_WIPHY request for the monitor, with the channel attributes of the
// width. False when the message is full.
bool build_set_wiphy(nl_msg *msg, int family, int32_t ifindex, uint32_t frequency_mhz,
                     uint32_t width_mhz);
