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

void iface(radiostats *h, uint32_t ifindex, const char *name, uint32_t iftype, const char *ssid)
{
    NlReply m(NL80211_CMD_NEW_INTERFACE);
    m.u32(NL80211_ATTR_IFINDEX, ifindex)
        .u32(NL80211_ATTR_IFTYPE, iftype)
        .str(NL80211_ATTR_IFNAME, name);
    if (ssid)
        m.bytes(NL80211_ATTR_SSID, std::vector<uint8_t>(ssid, ssid + std::strlen(ssid)));
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

// A refresh lists exactly the interfaces of the latest dump; the records of
// those that stay keep their address and place. The held records start as
// wlan1 (7) and wlan0 (3), access points whose daemons were asked.
TEST(VapList, RefreshGivesExactlyTheLatestDump)
{
    struct Iface {
        uint32_t ifindex;
        const char *name;
        uint32_t iftype;
        const char *ssid; // nullptr: no SSID attribute (a station not associated)
    };
    const Iface held[] = {{7, "wlan1", NL80211_IFTYPE_AP, "one"},
                          {3, "wlan0", NL80211_IFTYPE_AP, "two"}};
    struct Case {
        const char *what;
        std::vector<Iface> dump;
        bool complete;
        std::vector<uint32_t> keys; // the list afterwards, in order
    };
    const Case cases[] = {
        {"a vanished interface goes", {{3, "wlan0", NL80211_IFTYPE_AP, "two"}}, true, {3}},
        {"new keys go to the tail, the others stay in place",
         {{9, "wlan2", NL80211_IFTYPE_AP, "three"},
          {7, "renamed-iface-name", NL80211_IFTYPE_AP, "one"},
          {3, "wlan0", NL80211_IFTYPE_AP, "two"}},
         true,
         {7, 3, 9}},
        {"a failed dump keeps the list as it was",
         {{9, "wlan2", NL80211_IFTYPE_AP, "x"}},
         false,
         {7, 3}},
        {"what the dump no longer says is gone, so are the suites of another role",
         {{7, "wlan1", NL80211_IFTYPE_STATION, nullptr}, {3, "wlan0", NL80211_IFTYPE_AP, "two"}},
         true,
         {7, 3}},
        {"an empty dump empties the list", {}, true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto h = bare_handle();
        std::map<uint32_t, vap_stat *> before;
        for (const Iface &i : held) {
            iface(h.get(), i.ifindex, i.name, i.iftype, i.ssid);
            before[i.ifindex] = walk(&h->vaps).back();
            before[i.ifindex]->wpa = AIRTALLY_WPA_RSN; // as vap_stat_get_sock left it
            before[i.ifindex]->key_mgmt = 0x000FAC02;
        }
        Refresh<vap_stat> refresh;
        refresh_begin(&refresh, &h->vaps);
        for (const Iface &i : c.dump)
            iface(h.get(), i.ifindex, i.name, i.iftype, i.ssid);
        refresh_end(&refresh, c.complete, &vap_stat::ifindex, keep_security);

        auto vaps = walk(&h->vaps);
        EXPECT_TRUE(links_consistent(&h->vaps));
        std::vector<uint32_t> keys;
        for (vap_stat *v : vaps)
            keys.push_back(v->ifindex);
        EXPECT_EQ(keys, c.keys);
        const auto &source = c.complete ? c.dump : std::vector<Iface>(held, held + 2);
        for (vap_stat *v : vaps) {
            auto now = std::ranges::find(source, v->ifindex, &Iface::ifindex);
            ASSERT_NE(now, source.end());
            auto old = std::ranges::find(held, v->ifindex, &Iface::ifindex);
            if (old != std::end(held)) {
                EXPECT_EQ(v, before[v->ifindex]) << v->ifindex;
            }
            EXPECT_EQ(std::string(v->ifname), std::string(now->name).substr(0, 15));
            EXPECT_STREQ(v->ssid, now->ssid ? now->ssid : "");
            bool same_role = old != std::end(held) && old->iftype == now->iftype;
            EXPECT_EQ(v->key_mgmt, same_role ? 0x000FAC02u : 0u) << v->ifindex;
            EXPECT_EQ(v->wpa, same_role ? AIRTALLY_WPA_RSN : 0u) << v->ifindex;
        }
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
