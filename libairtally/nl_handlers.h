// The libnl valid-message handlers that merge nl80211 dump replies into the
// handle's lists; `arg` is the handle. Each returns NL_SKIP so reception goes
// on with the next message.
#pragma once

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

} // namespace airtally
