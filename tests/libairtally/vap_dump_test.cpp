// SPDX-License-Identifier: MIT
// The interface list's handler, fed with replies built like the kernel's.
#include "handle_fixture.h"
#include "nl_handlers.h"
#include "nl_reply_builder.h"
#include "refresh.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/nl80211.h>
#include <map>

using namespace airtally;

namespace
{

void feed(radiostats *h, const NlReply &m)
{
    ASSERT_TRUE(m.ok());
    EXPECT_EQ(vap_handler(m.get(), h), NL_SKIP);
}

// An access point; SSID "S" stands for a station that is not associated.
void ap_iface(radiostats *h, uint32_t ifindex, const char *name, const std::string &ssid)
{
    NlReply m(NL80211_CMD_NEW_INTERFACE);
    m.u32(NL80211_ATTR_IFINDEX, ifindex)
        .u32(NL80211_ATTR_WIPHY, 1)
        .u32(NL80211_ATTR_IFTYPE, ssid == "S" ? NL80211_IFTYPE_STATION : NL80211_IFTYPE_AP)
        .str(NL80211_ATTR_IFNAME, name)
        .bytes(NL80211_ATTR_MAC, {0x02, 0x00, 0x00, 0x00, 0x01, 0x00})
        .u8(NL80211_ATTR_4ADDR, 1);
    if (ssid != "S")
        m.bytes(NL80211_ATTR_SSID, std::vector<uint8_t>(ssid.begin(), ssid.end()));
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

// A refresh lists exactly the interfaces of the latest dump, and those that
// stay keep their record (address and place). Held: access points 7 and 3,
// their daemons asked; "S" marks a station without SSID (not associated).
TEST(VapList, RefreshGivesExactlyTheLatestDump)
{
    struct Case {
        const char *what;
        std::vector<std::pair<uint32_t, const char *>> dump; // ifindex, SSID
        bool complete;
        std::vector<uint32_t> keys; // the list afterwards
    };
    const Case cases[] = {
        {"a vanished interface goes", {{3, "3"}}, true, {3}},
        {"new keys go last", {{9, "9"}, {7, "7b"}, {3, "3"}}, true, {7, 3, 9}},
        {"a failed dump keeps the list", {{9, "9"}}, false, {7, 3}},
        {"another role: no SSID, no suites", {{7, "S"}, {3, "3"}}, true, {7, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto h = bare_handle();
        ap_iface(h.get(), 7, "wlan7", "7");
        ap_iface(h.get(), 3, "wlan3", "3");
        auto before = walk(&h->vaps);
        for (vap_stat *v : before)
            v->key_mgmt = 0x000FAC02; // as vap_stat_get_sock left it
        Refresh<vap_stat> refresh;
        refresh_begin(&refresh, &h->vaps);
        for (auto [ifindex, ssid] : c.dump)
            ap_iface(h.get(), ifindex, "wlan", ssid);
        refresh_end(&refresh, c.complete, &vap_stat::ifindex, keep_security);

        EXPECT_TRUE(links_consistent(&h->vaps));
        std::map<uint32_t, std::string> ssid = {{7, "7"}, {3, "3"}};
        if (c.complete)
            ssid = {c.dump.begin(), c.dump.end()};
        std::vector<uint32_t> keys;
        for (vap_stat *v : walk(&h->vaps)) {
            keys.push_back(v->ifindex);
            EXPECT_TRUE(v->ifindex == 9 || v == before[v->ifindex == 7 ? 0 : 1]) << v->ifindex;
            bool station = ssid[v->ifindex] == "S";
            EXPECT_EQ(v->ssid, station ? "" : ssid[v->ifindex]);
            EXPECT_EQ(v->key_mgmt, station || v->ifindex == 9 ? 0u : 0x000FAC02u);
        }
        EXPECT_EQ(keys, c.keys);
    }
}

TEST(VapHandler, SsidIsCutAt63BytesAndAKeylessMessageIsDropped)
{
    auto h = bare_handle();
    std::string long_ssid(80, 'x');
    ap_iface(h.get(), 4, "wlan0", long_ssid);
    vap_stat *v = walk(&h->vaps).at(0);
    EXPECT_EQ(std::string(v->ssid), std::string(63, 'x'));

    // Without its key the message is dropped.
    NlReply keyless(NL80211_CMD_NEW_INTERFACE);
    keyless.str(NL80211_ATTR_IFNAME, "nokey0");
    feed(h.get(), keyless);
    EXPECT_EQ(walk(&h->vaps).size(), 1u);
}
