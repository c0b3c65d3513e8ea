// SPDX-License-Identifier: MIT
// The libnl valid-message handlers that merge nl80211 dump replies into the
// handle's lists; `arg` is the handle. Each returns NL_SKIP so reception goes
// on with the next message.
#pragma once

#include "airtally.h"

#include <cstdint>
#include <netlink/handlers.h>

namespace airtally
{

int wiphy_handler(nl_msg *msg, void *arg);
int iface_handler(nl_msg *msg, void *arg);
int reg_handler(nl_msg *msg, void *arg);
int vap_handler(nl_msg *msg, void *arg);

// chan_width in MHz for an nl80211_chan_width value; false when the value
// has no entry (5 and 10 MHz, 320 MHz and anything newer).
bool chan_width_mhz(uint32_t nl_width, uint8_t *mhz);

// radio_stat.tx_power for an NL80211_ATTR_WIPHY_TX_POWER_LEVEL value.
uint8_t tx_power_dbm(uint32_t level_mbm);

// What a refreshed interface record takes over from the one the caller
// held with the same key.
void keep_security(const vap_stat &held, vap_stat &fresh);

} // namespace airtally
