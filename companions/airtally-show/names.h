// SPDX-License-Identifier: MIT
// Names for libairtally's numbers (interface types, phy modes, WPA versions,
// key-management and cipher suites), shared by every companion that shows
// them so that they all say the same thing.
#pragma once

#include "airtally.h"

#include <cstdint>
#include <string>

namespace airtally_names
{

// aa:bb:cc:dd:ee:ff
std::string mac_text(const uint8_t (&mac)[6]);
// nl80211's interface type: "station", "ap", ...; "other" past the table.
const char *iftype_name(uint32_t iftype);
// The HT/VHT/HE bits of radio_stat.phy_modes as "HT,VHT,HE"; "" when none.
std::string modes_text(uint8_t phy_modes);
// vap_stat.wpa: "WPA", "RSN", "WPA+RSN"; "" when neither.
const char *wpa_name(uint32_t wpa);
// Suite selectors by the names hostapd's configuration uses ("WPA-PSK",
// "CCMP"); "" for 0 (unknown or none), the selector as 0x%08x when it has
// no name.
std::string key_mgmt_name(uint32_t selector);
std::string cipher_name(uint32_t selector);

} // namespace airtally_names
