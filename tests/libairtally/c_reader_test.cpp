// SPDX-License-Identifier: MIT
// Records filled by the library, read by C code compiled against the public
// header: both languages must agree on every member's place.
#include "fd_capture.h"
#include "handle_fixture.h"
#include "nl_handlers.h"
#include "nl_reply_builder.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <linux/nl80211.h>

extern "C" {
size_t c_radio_offsets(size_t *out);
size_t c_vap_offsets(size_t *out);
int c_describe_radios(radio_stat *head, char *out, size_t cap);
int c_describe_vaps(vap_stat *head, char *out, size_t cap);
}

using namespace airtally;

TEST(CReader, OffsetsMatchTheLibrarysOwn)
{
    size_t c[16];
    ASSERT_EQ(c_radio_offsets(c), 15u);
    const size_t cpp_radio[] = {offsetof(radio_stat, next),
                                offsetof(radio_stat, prev),
                                offsetof(radio_stat, ifname),
                                offsetof(radio_stat, phy),
                                offsetof(radio_stat, ifindex),
                                offsetof(radio_stat, phy_name),
                                offsetof(radio_stat, mac),
                                offsetof(radio_stat, country),
                                offsetof(radio_stat, antenna_tx),
                                offsetof(radio_stat, antenna_rx),
                                offsetof(radio_stat, freq),
                                offsetof(radio_stat, chan_width),
                                offsetof(radio_stat, phy_modes),
                                offsetof(radio_stat, tx_power),
                                sizeof(radio_stat)};
    for (size_t i = 0; i < 15; ++i)
        EXPECT_EQ(c[i], cpp_radio[i]) << "radio_stat member " << i;
    ASSERT_EQ(c_vap_offsets(c), 14u);
    const size_t cpp_vap[] = {offsetof(vap_stat, next),         offsetof(vap_stat, prev),
                              offsetof(vap_stat, ifindex),      offsetof(vap_stat, ifname),
                              offsetof(vap_stat, mac),          offsetof(vap_stat, phy),
                              offsetof(vap_stat, iftype),       offsetof(vap_stat, ssid),
                              offsetof(vap_stat, use_4addr),    offsetof(vap_stat, wpa),
                              offsetof(vap_stat, key_mgmt),     offsetof(vap_stat, pairwise_cipher),
                              offsetof(vap_stat, group_cipher), sizeof(vap_stat)};
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(c[i], cpp_vap[i]) << "vap_stat member " << i;
}

TEST(CReader, WalksListsTheLibraryBuiltAndReadsEveryMember)
{
    auto h = bare_handle();
    NlReply w(NL80211_CMD_NEW_WIPHY);
    w.u32(NL80211_ATTR_WIPHY, 1)
        .str(NL80211_ATTR_WIPHY_NAME, "phy1")
        .u32(NL80211_ATTR_WIPHY_ANTENNA_TX, 3)
        .u32(NL80211_ATTR_WIPHY_ANTENNA_RX, 2)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_5GHZ)
        .u32(NL80211_BAND_ATTR_HT_CAPA, 1)
        .u32(NL80211_BAND_ATTR_VHT_CAPA, 1)
        .close()
        .close();
    ASSERT_TRUE(w.ok());
    wiphy_handler(w.get(), h.get());
    NlReply i(NL80211_CMD_NEW_INTERFACE);
    i.u32(NL80211_ATTR_WIPHY, 1)
        .u32(NL80211_ATTR_IFINDEX, 12)
        .u32(NL80211_ATTR_IFTYPE, NL80211_IFTYPE_AP)
        .str(NL80211_ATTR_IFNAME, "wlan1")
        .bytes(NL80211_ATTR_MAC, {0x02, 0x00, 0x00, 0x00, 0x01, 0xab})
        .u32(NL80211_ATTR_WIPHY_FREQ, 5180)
        .u32(NL80211_ATTR_CHANNEL_WIDTH, NL80211_CHAN_WIDTH_80)
        .u32(NL80211_ATTR_WIPHY_TX_POWER_LEVEL, 1700)
        .u8(NL80211_ATTR_4ADDR, 1)
        .bytes(NL80211_ATTR_SSID, {'n', 'e', 't'});
    ASSERT_TRUE(i.ok());
    iface_handler(i.get(), h.get());
    vap_handler(i.get(), h.get());
    NlReply reg(NL80211_CMD_GET_REG);
    reg.u32(NL80211_ATTR_WIPHY, 1).str(NL80211_ATTR_REG_ALPHA2, "FI");
    reg_handler(reg.get(), h.get());
    vap_stat *v = h->vaps.next;
    v->wpa = 2;
    v->key_mgmt = 0x000FAC02;
    v->pairwise_cipher = 0x000FAC04;
    v->group_cipher = 0x000FAC0A;

    char text[512];
    ASSERT_GT(c_describe_radios(&h->radios, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "wlan1|1|12|phy1|02:00:00:00:01:ab|FI|3|2|5180|80|7|17\n");
    ASSERT_GT(c_describe_vaps(&h->vaps, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "12|wlan1|02:00:00:00:01:ab|1|3|net|1|2|000fac02|000fac04|000fac0a\n");
}
