// SPDX-License-Identifier: MIT
// Reply parsing of hostapd GET_CONFIG and wpa_supplicant STATUS / MIB texts.
#include "ctrl_reply.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

using namespace airtally;

namespace
{

vap_stat ap_parse(std::string reply, uint32_t start_wpa = 0)
{
    vap_stat v{};
    v.wpa = start_wpa;
    parse_ap_reply(&v, reply.data());
    return v;
}

vap_stat sta_parse(vap_stat v, std::string reply)
{
    parse_sta_reply(&v, reply.data());
    return v;
}

} // namespace

TEST(SuiteNames, WholeStringsOnly)
{
    EXPECT_EQ(akm_from_name("WPA-EAP-SUITE-B-192"), 0x000FAC0Cu);
    EXPECT_EQ(akm_from_name("OWE"), 0x000FAC12u);
    EXPECT_EQ(cipher_from_name("GCMP-256"), 0x000FAC09u);
    // Prefixes, case, neighbours' names and the other table's names.
    for (const char *name : {"", "WPA3-PSK", "wpa-psk", "WPA-PSK ", "WPA-PSK\r", "WPA-PSK SAE",
                             "WPA-EAP-SUITE", "WPA2/IEEE 802.1X", "CCMP"})
        EXPECT_EQ(akm_from_name(name), 0u) << '"' << name << '"';
    for (const char *name : {"", "ccmp", "CCMP ", "CCMP TKIP", "CCMP-128", "GCMP-25", "SAE"})
        EXPECT_EQ(cipher_from_name(name), 0u) << '"' << name << '"';
}

// wpa_supplicant's STATUS names the negotiated suite its own way; each of
// its names gives the same selector as hostapd's name of that suite.
TEST(SuiteNames, SupplicantSpellingsOfEachSuite)
{
    // clang-format off
    const std::pair<const char *, uint32_t> cases[] = {
        {"WPA2-PSK", 0x000FAC02}, {"WPA-PSK", 0x000FAC02}, {"WPA2/IEEE 802.1X/EAP", 0x000FAC01},
        {"WPA/IEEE 802.1X/EAP", 0x000FAC01}, {"FT-PSK", 0x000FAC04}, {"FT-EAP", 0x000FAC03},
        {"WPA2-EAP-SHA256", 0x000FAC05}, {"WPA2-PSK-SHA256", 0x000FAC06}, {"SAE", 0x000FAC08},
        {"FT-SAE", 0x000FAC09}, {"WPA2-EAP-SUITE-B", 0x000FAC0B},
        {"WPA2-EAP-SUITE-B-192", 0x000FAC0C}, {"FT-EAP-SHA384", 0x000FAC0D},
        {"FILS-SHA256", 0x000FAC0E}, {"FT-FILS-SHA384", 0x000FAC11}, {"OWE", 0x000FAC12},
        {"WPA2-EAP-SHA384", 0x000FAC17}, {"SAE-EXT-KEY", 0x000FAC18}, {"FT-SAE-EXT-KEY", 0x000FAC19},
    };
    // clang-format on
    for (auto [name, selector] : cases) {
        EXPECT_EQ(akm_from_name(name), selector) << name;
        std::string reply = std::string("key_mgmt=") + name + "\n";
        EXPECT_EQ(sta_parse(vap_stat{}, reply).key_mgmt, selector) << name;
    }
}

TEST(HostapdReply, TypicalWpa2PskConfig)
{
    vap_stat v = ap_parse("bssid=02:00:00:00:00:00\n"
                          "ssid=airtally\n"
                          "wps_state=disabled\n"
                          "wpa=2\n"
                          "key_mgmt=WPA-PSK\n"
                          "group_cipher=CCMP\n"
                          "rsn_pairwise_cipher=CCMP\n");
    EXPECT_EQ(v.wpa, 2u);
    EXPECT_EQ(v.key_mgmt, 0x000FAC02u);
    EXPECT_EQ(v.pairwise_cipher, 0x000FAC04u);
    EXPECT_EQ(v.group_cipher, 0x000FAC04u);
}

TEST(HostapdReply, WpaLineAddsBitsAndNeverRemovesThem)
{
    EXPECT_EQ(ap_parse("wpa=3\n").wpa, 3u);
    EXPECT_EQ(ap_parse("wpa=2\n").wpa, 2u);
    EXPECT_EQ(ap_parse("wpa=1\n").wpa, 1u);
    EXPECT_EQ(ap_parse("wpa=1\nwpa=2\n").wpa, 3u);
    EXPECT_EQ(ap_parse("wpa=0\n", 3).wpa, 3u);
    EXPECT_EQ(ap_parse("wpa=6\n").wpa, 2u); // only bits 0 and 1 mean anything
    EXPECT_EQ(ap_parse("wpa=x\n").wpa, 0u);
}

TEST(HostapdReply, TrailingCharactersMakeNamesUnknown)
{
    vap_stat v = ap_parse("key_mgmt=WPA-PSK \n"
                          "group_cipher=CCMP\r\n"
                          "rsn_pairwise_cipher=CCMP TKIP\n");
    EXPECT_EQ(v.key_mgmt, 0u);
    EXPECT_EQ(v.group_cipher, 0u);
    EXPECT_EQ(v.pairwise_cipher, 0u);
    EXPECT_EQ(ap_parse("key_mgmt=WPA-PSK WPA-PSK-SHA256\n").key_mgmt, 0u);
}

TEST(HostapdReply, LaterPairwiseLineWinsAndEmptyLinesAreSkipped)
{
    vap_stat v = ap_parse("\n\nwpa_pairwise_cipher=TKIP\n\nrsn_pairwise_cipher=CCMP\n");
    EXPECT_EQ(v.pairwise_cipher, 0x000FAC04u);
    v = ap_parse("rsn_pairwise_cipher=CCMP\nwpa_pairwise_cipher=TKIP");
    EXPECT_EQ(v.pairwise_cipher, 0x000FAC02u); // last line without a newline counts too
    // A prefix matches only at the start of a line.
    v = ap_parse("xwpa=3\n pairwise_cipher=CCMP\nmy_group_cipher=CCMP\n");
    EXPECT_EQ(v.wpa, 0u);
    EXPECT_EQ(v.pairwise_cipher, 0u);
    EXPECT_EQ(v.group_cipher, 0u);
    // The station's prefix is not one of hostapd's.
    EXPECT_EQ(ap_parse("pairwise_cipher=CCMP\n").pairwise_cipher, 0u);
}

TEST(SupplicantReply, StatusThenMibMergeWithoutClearing)
{
    vap_stat v{};
    v.wpa = 1; // left from an earlier query
    v.group_cipher = 0x000FAC02;
    v = sta_parse(v, "bssid=02:00:00:00:00:00\n"
                     "ssid=airtally\n"
                     "pairwise_cipher=CCMP\n"
                     "key_mgmt=WPA2-PSK\n"
                     "wpa_state=COMPLETED\n");
    EXPECT_EQ(v.key_mgmt, 0x000FAC02u);
    EXPECT_EQ(v.pairwise_cipher, 0x000FAC04u);
    EXPECT_EQ(v.group_cipher, 0x000FAC02u); // no line: kept
    EXPECT_EQ(v.wpa, 1u);
    v = sta_parse(v, "dot11RSNAOptionImplemented=TRUE\n"
                     "dot11RSNAConfigVersion=1\n"
                     "dot11RSNAPairwiseCipherSelected=00-0f-ac-4\n"
                     "dot11RSNAGroupCipherSelected=00-0f-ac-4\n"
                     "group_cipher=CCMP\n");
    EXPECT_EQ(v.wpa, 2u);
    EXPECT_EQ(v.group_cipher, 0x000FAC04u); // the MIB's line replaces the earlier value
    EXPECT_EQ(v.pairwise_cipher, 0x000FAC04u);
}

TEST(SupplicantReply, PairwiseSelectorComparesEightCharacters)
{
    vap_stat v{};
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=00-0f-ac-4\n").wpa, 2u);
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=00-0f-acXYZ\n").wpa, 2u);
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=00-50-f2-2\n").wpa, 1u);
    v.wpa = 3;
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=00-0f-ac-4\n").wpa,
              2u); // set, not added
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=00-0F-AC-4\n").wpa, 3u);
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=00-0f\n").wpa, 3u);
    EXPECT_EQ(sta_parse(v, "dot11RSNAPairwiseCipherSelected=\n").wpa, 3u);
    // hostapd's "wpa=" means nothing to the station parser.
    EXPECT_EQ(sta_parse(vap_stat{}, "wpa=2\n").wpa, 0u);
}
