// SPDX-License-Identifier: MIT
// The parts of hostapd and wpa_supplicant control replies that give a
// VAP's security settings.
#pragma once

#include "airtally.h"

#include <cstdint>
#include <string_view>

namespace airtally
{

// IEEE 802.11 suite selectors (OUI 00-0F-AC << 8 | type) for the daemons'
// names; 0 for anything that is not exactly one name of the table.
uint32_t akm_from_name(std::string_view name);
uint32_t cipher_from_name(std::string_view name);

// Merge a reply into `vap`, splitting `reply` at "\n" in place. Neither
// keeps state between calls, so parses may run side by side.
void parse_ap_reply(vap_stat *vap, char *reply);  // hostapd GET_CONFIG
void parse_sta_reply(vap_stat *vap, char *reply); // wpa_supplicant STATUS, MIB

} // namespace airtally
