// The interface list's handler, fed with replies built like the kernel's.
#include "handle_fixture.h"
#include "nl_handlers.h"
#include "nl_reply_builder.h"

#include <cstring>
#include <gtest/gtest.h>
#include <linux/nl80211.h>

using namespace airtally;

namespace
{

void feed(radiostats *h, const NlReply &m)
{
    ASSERT_TRUE(m.ok());
    EXPECT_EQ(vap_handler(m.get(), h), NL_SKIP);
}

void ap_iface(radiostats *h, uint32_t ifindex, const char *name, const std::string &ssid)
{
    NlReply m(NL80211_CMD_NEW_INTERFACE);
    m.u32(NL80211_ATTR_IFINDEX, ifindex)
        .u32(NL80211_ATTR_WIPHY, 1)
        .u32(NL80211_ATTR_IFTYPE, NL80211_IFTYPE_AP)
        .str(NL80211_ATTR_IFNAME, name)
        .bytes(NL80211_ATTR_MAC, {0x02, 0x00, 0x00, 0x00, 0x01, 0x00})
        .u8(NL80211_ATTR_4ADDR, 1)
        .bytes(NL80211_ATTR_SSID, std::vector<uint8_t>(ssid.begin(), ssid.end()));
    feed(h, m);
}

} // namespace

TEST(VapHandler, FillsEveryMemberFromTheInterfaceDump)
{
    auto h = bare_handle();
    ap_iface(h.get(), 7, "wlan1", "airtally-test");
    auto vaps = walk(&h->vaps);
    ASSERT_EQ(vaps.size(), 1u);
    vap_stat *v = vaps[0];
    EXPECT_EQ(v->ifindex, 7u);
    EXPECT_EQ(v->phy, 1u);
    EXPECT_EQ(v->iftype, static_cast<uint32_t>(NL80211_IFTYPE_AP));
    EXPECT_STREQ(v->ifname, "wlan1");
    const uint8_t mac[6] = {0x02, 0, 0, 0, 0x01, 0};
    EXPECT_EQ(std::memcmp(v->mac, mac, 6), 0);
    EXPECT_EQ(v->use_4addr, 1);
    EXPECT_STREQ(v->ssid, "airtally-test"); // the kernel's SSID carries no NUL
    EXPECT_EQ(v->wpa, 0u);
    EXPECT_EQ(v->key_mgmt, 0u);
}

TEST(VapHandler, SecondDumpUpdatesInPlaceRenamesAndAppendsNewKeys)
{
    auto h = bare_handle();
    ap_iface(h.get(), 7, "wlan1", "one");
    ap_iface(h.get(), 3, "wlan0", "two");
    vap_stat *first = walk(&h->vaps).at(0);
    // Security members belong to the control-socket query: a refresh keeps them.
    first->wpa = 2;
    first->key_mgmt = 0x000FAC02;

    ap_iface(h.get(), 3, "wlan0", "two");
    ap_iface(h.get(), 7, "renamed-iface-name", "one");
    ap_iface(h.get(), 9, "wlan2", "three");

    auto vaps = walk(&h->vaps);
    ASSERT_EQ(vaps.size(), 3u);
    EXPECT_TRUE(links_consistent(&h->vaps));
    EXPECT_EQ(vaps[0], first);
    EXPECT_STREQ(first->ifname, "renamed-iface-n"); // 15 characters
    EXPECT_EQ(first->wpa, 2u);
    EXPECT_EQ(first->key_mgmt, 0x000FAC02u);
    EXPECT_EQ(vaps[1]->ifindex, 3u);
    EXPECT_EQ(vaps[2]->ifindex, 9u);

    vap_stat_free_all(h.get());
    EXPECT_TRUE(walk(&h->vaps).empty());
    ap_iface(h.get(), 9, "wlan2", "three");
    ASSERT_EQ(walk(&h->vaps).size(), 1u);
    EXPECT_EQ(walk(&h->vaps)[0]->wpa, 0u);
}

TEST(VapHandler, SsidIsCutAt63BytesAndMissingAttributesKeepValues)
{
    auto h = bare_handle();
    std::string long_ssid(80, 'x');
    ap_iface(h.get(), 4, "wlan0", long_ssid);
    vap_stat *v = walk(&h->vaps).at(0);
    EXPECT_EQ(std::string(v->ssid), std::string(63, 'x'));

    // A station dump entry without SSID, MAC or 4addr (not associated).
    NlReply sta(NL80211_CMD_NEW_INTERFACE);
    sta.u32(NL80211_ATTR_IFINDEX, 4).u32(NL80211_ATTR_IFTYPE, NL80211_IFTYPE_STATION);
    feed(h.get(), sta);
    EXPECT_EQ(v->iftype, static_cast<uint32_t>(NL80211_IFTYPE_STATION));
    EXPECT_EQ(std::string(v->ssid), std::string(63, 'x'));
    EXPECT_STREQ(v->ifname, "wlan0");
    EXPECT_EQ(v->use_4addr, 1);

    // Without its key the message is dropped.
    NlReply keyless(NL80211_CMD_NEW_INTERFACE);
    keyless.str(NL80211_ATTR_IFNAME, "nokey0");
    feed(h.get(), keyless);
    EXPECT_EQ(walk(&h->vaps).size(), 1u);
}
