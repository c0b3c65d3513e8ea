// SPDX-License-Identifier: MIT
#include "ctrl_reply.h"

#include <cstdlib>
#include <cstring>

namespace airtally
{

namespace
{

struct SuiteName {
    std::string_view name;
    uint32_t selector;
};

// hostapd names the configured suites as its configuration file does;
// wpa_supplicant's STATUS names the negotiated one its own way, with the
// WPA version in front for the older suites ("WPA2-PSK", and "WPA-PSK"
// for WPA1). Both spellings of a suite give its one selector.
constexpr SuiteName kAkms[] = {
    {"WPA-EAP", 0x000FAC01},
    {"WPA/IEEE 802.1X/EAP", 0x000FAC01},
    {"WPA2/IEEE 802.1X/EAP", 0x000FAC01},
    {"WPA-PSK", 0x000FAC02},
    {"WPA2-PSK", 0x000FAC02},
    {"FT-EAP", 0x000FAC03},
    {"FT-PSK", 0x000FAC04},
    {"WPA-EAP-SHA256", 0x000FAC05},
    {"WPA2-EAP-SHA256", 0x000FAC05},
    {"WPA-PSK-SHA256", 0x000FAC06},
    {"WPA2-PSK-SHA256", 0x000FAC06},
    {"SAE", 0x000FAC08},
    {"FT-SAE", 0x000FAC09},
    {"WPA-EAP-SUITE-B", 0x000FAC0B},
    {"WPA2-EAP-SUITE-B", 0x000FAC0B},
    {"WPA-EAP-SUITE-B-192", 0x000FAC0C},
    {"WPA2-EAP-SUITE-B-192", 0x000FAC0C},
    {"FT-EAP-SHA384", 0x000FAC0D},
    {"FILS-SHA256", 0x000FAC0E},
    {"FILS-SHA384", 0x000FAC0F},
    {"FT-FILS-SHA256", 0x000FAC10},
    {"FT-FILS-SHA384", 0x000FAC11},
    {"OWE", 0x000FAC12},
    {"WPA-EAP-SHA384", 0x000FAC17},
    {"WPA2-EAP-SHA384", 0x000FAC17},
    {"SAE-EXT-KEY", 0x000FAC18},
    {"FT-SAE-EXT-KEY", 0x000FAC19},
};

constexpr SuiteName kCiphers[] = {
    {"CCMP", 0x000FAC04},     {"TKIP", 0x000FAC02},  {"CCMP-256", 0x000FAC0A}, {"GCMP", 0x000FAC08},
    {"GCMP-256", 0x000FAC09}, {"WEP40", 0x000FAC01}, {"WEP104", 0x000FAC05},
};

template <size_t N> uint32_t lookup(const SuiteName (&table)[N], std::string_view name)
{
    for (const SuiteName &s : table)
        if (s.name == name)
            return s.selector;
    return 0;
}

using LineAction = void (*)(vap_stat *vap, const char *rest);

struct PrefixAction {
    std::string_view prefix;
    LineAction action;
};

void set_key_mgmt(vap_stat *v, const char *rest)
{
    v->key_mgmt = akm_from_name(rest);
}
void set_pairwise(vap_stat *v, const char *rest)
{
    v->pairwise_cipher = cipher_from_name(rest);
}
void set_group(vap_stat *v, const char *rest)
{
    v->group_cipher = cipher_from_name(rest);
}

// hostapd's "wpa" is its own bitmap of the same two versions; it only adds.
void add_wpa_bits(vap_stat *v, const char *rest)
{
    unsigned long bits = std::strtoul(rest, nullptr, 10);
    if (bits & AIRTALLY_WPA_WPA1)
        v->wpa |= AIRTALLY_WPA_WPA1;
    if (bits & AIRTALLY_WPA_RSN)
        v->wpa |= AIRTALLY_WPA_RSN;
}

// The selected pairwise suite's OUI tells RSN (00-0f-ac) from WPA (00-50-f2).
void wpa_from_pairwise_oui(vap_stat *v, const char *rest)
{
    if (std::strncmp(rest, "00-0f-ac", 8) == 0)
        v->wpa = AIRTALLY_WPA_RSN;
    else if (std::strncmp(rest, "00-50-f2", 8) == 0)
        v->wpa = AIRTALLY_WPA_WPA1;
}

constexpr PrefixAction kApPrefixes[] = {
    {"wpa=", add_wpa_bits},
    {"key_mgmt=", set_key_mgmt},
    {"wpa_pairwise_cipher=", set_pairwise},
    {"rsn_pairwise_cipher=", set_pairwise},
    {"group_cipher=", set_group},
};

constexpr PrefixAction kStaPrefixes[] = {
    {"key_mgmt=", set_key_mgmt},
    {"pairwise_cipher=", set_pairwise},
    {"group_cipher=", set_group},
    {"dot11RSNAPairwiseCipherSelected=", wpa_from_pairwise_oui},
};

template <size_t N> void parse_lines(vap_stat *vap, char *reply, const PrefixAction (&table)[N])
{
    char *save = nullptr;
    // strtok_r skips the empty lines and keeps its position in `save`, not
    // in process-wide state.
    for (char *line = strtok_r(reply, "\n", &save); line; line = strtok_r(nullptr, "\n", &save)) {
        std::string_view text(line);
        for (const PrefixAction &p : table) {
            if (text.substr(0, p.prefix.size()) == p.prefix) {
                p.action(vap, line + p.prefix.size());
                break;
            }
        }
    }
}

} // namespace

uint32_t akm_from_name(std::string_view name)
{
    return lookup(kAkms, name);
}

uint32_t cipher_from_name(std::string_view name)
{
    return lookup(kCiphers, name);
}

void parse_ap_reply(vap_stat *vap, char *reply)
{
    parse_lines(vap, reply, kApPrefixes);
}

void parse_sta_reply(vap_stat *vap, char *reply)
{
    parse_lines(vap, reply, kStaPrefixes);
}

} // namespace airtally
