// SPDX-License-Identifier: MIT
#include "names.h"

#include <cstdio>
#include <iterator>
#include <utility>

namespace airtally_names
{

namespace
{

constexpr const char *kIftypeNames[] = {
    "unspecified", "adhoc",      "station", "ap",         "ap_vlan", "wds", "monitor",
    "mesh",        "p2p_client", "p2p_go",  "p2p_device", "ocb",     "nan"};

struct Suite {
    uint32_t selector;
    const char *name;
};

// IEEE 802.11's AKM suites (OUI 00-0f-ac) and WPA's (00-50-f2).
constexpr Suite kKeyMgmt[] = {
    {0x000FAC01, "WPA-EAP"},
    {0x000FAC02, "WPA-PSK"},
    {0x000FAC03, "FT-EAP"},
    {0x000FAC04, "FT-PSK"},
    {0x000FAC05, "WPA-EAP-SHA256"},
    {0x000FAC06, "WPA-PSK-SHA256"},
    {0x000FAC08, "SAE"},
    {0x000FAC09, "FT-SAE"},
    {0x000FAC0B, "WPA-EAP-SUITE-B"},
    {0x000FAC0C, "WPA-EAP-SUITE-B-192"},
    {0x000FAC0D, "FT-EAP-SHA384"},
    {0x000FAC0E, "FILS-SHA256"},
    {0x000FAC0F, "FILS-SHA384"},
    {0x000FAC10, "FT-FILS-SHA256"},
    {0x000FAC11, "FT-FILS-SHA384"},
    {0x000FAC12, "OWE"},
    {0x000FAC17, "WPA-EAP-SHA384"},
    {0x000FAC18, "SAE-EXT-KEY"},
    {0x000FAC19, "FT-SAE-EXT-KEY"},
    {0x0050F201, "WPA-EAP"},
    {0x0050F202, "WPA-PSK"},
};

constexpr Suite kCiphers[] = {
    {0x000FAC01, "WEP40"},    {0x000FAC02, "TKIP"},   {0x000FAC04, "CCMP"},
    {0x000FAC05, "WEP104"},   {0x000FAC08, "GCMP"},   {0x000FAC09, "GCMP-256"},
    {0x000FAC0A, "CCMP-256"}, {0x0050F201, "WEP40"},  {0x0050F202, "TKIP"},
    {0x0050F204, "CCMP"},     {0x0050F205, "WEP104"},
};

template <size_t N> std::string suite_name(const Suite (&table)[N], uint32_t selector)
{
    if (selector == 0)
        return "";
    for (const Suite &s : table)
        if (s.selector == selector)
            return s.name;
    char hex[11];
    std::snprintf(hex, sizeof(hex), "0x%08x", static_cast<unsigned>(selector));
    return hex;
}

} // namespace

std::string mac_text(const uint8_t (&mac)[6])
{
    char buf[18];
    std::snprintf(buf, sizeof(buf), "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return buf;
}

const char *iftype_name(uint32_t iftype)
{
    return iftype < std::size(kIftypeNames) ? kIftypeNames[iftype] : "other";
}

std::string modes_text(uint8_t phy_modes)
{
    std::string s;
    for (auto [bit, name] :
         {std::pair{AIRTALLY_MODE_HT, "HT"}, {AIRTALLY_MODE_VHT, "VHT"}, {AIRTALLY_MODE_HE, "HE"}})
        if (phy_modes & bit)
            s += s.empty() ? name : std::string(",") + name;
    return s;
}

const char *wpa_name(uint32_t wpa)
{
    constexpr const char *kNames[] = {"", "WPA", "RSN", "WPA+RSN"};
    return kNames[wpa & (AIRTALLY_WPA_WPA1 | AIRTALLY_WPA_RSN)];
}

std::string key_mgmt_name(uint32_t selector)
{
    return suite_name(kKeyMgmt, selector);
}

std::string cipher_name(uint32_t selector)
{
    return suite_name(kCiphers, selector);
}

} // namespace airtally_names
