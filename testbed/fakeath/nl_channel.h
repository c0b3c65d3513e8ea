// SPDX-License-Identifier: MIT
// Asks nl80211 which channel a phy's interfaces are on, so the simulated
// reports carry the frequency the radio is really tuned to.
#pragma once

#include "sim.h"

namespace fakeath
{

// Fills ch from the first interface of the phy that has a channel.
// Returns 0, or -1 when no interface of the phy reports one (or nl80211
// cannot be reached).
int nl_phy_channel(unsigned phy, Channel &ch);

} // namespace fakeath
