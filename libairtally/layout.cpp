// SPDX-License-Identifier: MIT
// Callers read the records in place, so their layout is the library's ABI:
// any change here breaks programs built against an older header.
#include "airtally.h"

#include <cstddef>
#include <linux/nl80211.h>
#include <net/if.h>
#include <type_traits>

static_assert(std::is_standard_layout_v<radio_stat> && std::is_trivial_v<radio_stat>);
static_assert(std::is_standard_layout_v<vap_stat> && std::is_trivial_v<vap_stat>);

#if defined(__LP64__)
static_assert(offsetof(radio_stat, next) == 0);
static_assert(offsetof(radio_stat, prev) == 8);
static_assert(offsetof(radio_stat, ifname) == 16);
static_assert(offsetof(radio_stat, phy) == 32);
static_assert(offsetof(radio_stat, ifindex) == 36);
static_assert(offsetof(radio_stat, phy_name) == 40);
static_assert(offsetof(radio_stat, mac) == 56);
static_assert(offsetof(radio_stat, country) == 62);
static_assert(offsetof(radio_stat, antenna_tx) == 65);
static_assert(offsetof(radio_stat, antenna_rx) == 66);
static_assert(offsetof(radio_stat, freq) == 68);
static_assert(offsetof(radio_stat, chan_width) == 72);
static_assert(offsetof(radio_stat, phy_modes) == 73);
static_assert(offsetof(radio_stat, tx_power) == 74);
static_assert(sizeof(radio_stat) == 80);

static_assert(offsetof(vap_stat, next) == 0);
static_assert(offsetof(vap_stat, prev) == 8);
static_assert(offsetof(vap_stat, ifindex) == 16);
static_assert(offsetof(vap_stat, ifname) == 20);
static_assert(offsetof(vap_stat, mac) == 36);
static_assert(offsetof(vap_stat, phy) == 44);
static_assert(offsetof(vap_stat, iftype) == 48);
static_assert(offsetof(vap_stat, ssid) == 52);
static_assert(offsetof(vap_stat, use_4addr) == 116);
static_assert(offsetof(vap_stat, wpa) == 120);
static_assert(offsetof(vap_stat, key_mgmt) == 124);
static_assert(offsetof(vap_stat, pairwise_cipher) == 128);
static_assert(offsetof(vap_stat, group_cipher) == 132);
static_assert(sizeof(vap_stat) == 136);
#else
#error "layouts are asserted for LP64 targets (x86_64, aarch64) only"
#endif

// Interface names are copied whole, as the kernel limits them.
static_assert(sizeof(radio_stat::ifname) == IFNAMSIZ && sizeof(vap_stat::ifname) == IFNAMSIZ);

static_assert(NL80211_IFTYPE_STATION == 2 && NL80211_IFTYPE_AP == 3);
