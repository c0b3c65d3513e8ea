// SPDX-License-Identifier: MIT
// The radio list's three handlers, fed with replies built like the kernel's.
#include "fd_capture.h"
#include "handle_fixture.h"
#include "nl_handlers.h"
#include "nl_reply_builder.h"
#include "refresh.h"

#include <gtest/gtest.h>
#include <linux/nl80211.h>

using namespace airtally;

namespace
{

void feed(int (*handler)(nl_msg *, void *), radiostats *h, const NlReply &m)
{
    ASSERT_TRUE(m.ok());
    EXPECT_EQ(handler(m.get(), h), NL_SKIP);
}

void wiphy(radiostats *h, uint32_t phy, const char *name)
{
    NlReply m(NL80211_CMD_NEW_WIPHY);
    m.u32(NL80211_ATTR_WIPHY, phy).str(NL80211_ATTR_WIPHY_NAME, name);
    feed(wiphy_handler, h, m);
}

void iface(radiostats *h, uint32_t phy, uint32_t ifindex, const char *name, uint32_t freq)
{
    NlReply m(NL80211_CMD_NEW_INTERFACE);
    m.u32(NL80211_ATTR_WIPHY, phy)
        .u32(NL80211_ATTR_IFINDEX, ifindex)
        .str(NL80211_ATTR_IFNAME, name)
        .u32(NL80211_ATTR_WIPHY_FREQ, freq);
    feed(iface_handler, h, m);
}

} // namespace

TEST(WiphyHandler, SplitDumpMergesMessagesOfOnePhyAndKeepsDumpOrder)
{
    auto h = bare_handle();
    // The split dump: phy 3 first, in two messages, then phy 1.
    NlReply a(NL80211_CMD_NEW_WIPHY);
    a.u32(NL80211_ATTR_WIPHY, 3)
        .str(NL80211_ATTR_WIPHY_NAME, "phy3")
        .u32(NL80211_ATTR_WIPHY_ANTENNA_TX, 0x1ff) // only the low 8 bits are kept
        .u32(NL80211_ATTR_WIPHY_ANTENNA_RX, 0x103);
    feed(wiphy_handler, h.get(), a);
    NlReply b(NL80211_CMD_NEW_WIPHY);
    b.u32(NL80211_ATTR_WIPHY, 3)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_2GHZ)
        .bytes(NL80211_BAND_ATTR_HT_MCS_SET, std::vector<uint8_t>(16, 0xff))
        .close()
        .close();
    feed(wiphy_handler, h.get(), b);
    wiphy(h.get(), 1, "a-very-long-phy-name-indeed");

    auto radios = walk(&h->radios);
    ASSERT_EQ(radios.size(), 2u);
    EXPECT_TRUE(links_consistent(&h->radios));
    EXPECT_EQ(radios[0]->phy, 3u);
    EXPECT_STREQ(radios[0]->phy_name, "phy3");
    EXPECT_EQ(radios[0]->antenna_tx, 0xff);
    EXPECT_EQ(radios[0]->antenna_rx, 0x03);
    EXPECT_EQ(radios[0]->phy_modes, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HT);
    EXPECT_EQ(radios[1]->phy, 1u);
    EXPECT_STREQ(radios[1]->phy_name, "a-very-long-phy");    // 15 characters
    EXPECT_EQ(radios[1]->phy_modes, AIRTALLY_MODE_REPORTED); // no bands
}

TEST(WiphyHandler, CapabilityBitsFromEachBandAreOnlyEverAdded)
{
    auto h = bare_handle();
    NlReply vht(NL80211_CMD_NEW_WIPHY);
    vht.u32(NL80211_ATTR_WIPHY, 0)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_2GHZ)
        .u32(NL80211_BAND_ATTR_HT_CAPA, 0x1234)
        .close()
        .open(NL80211_BAND_5GHZ)
        .u32(NL80211_BAND_ATTR_VHT_CAPA, 0x1)
        .close()
        .close();
    feed(wiphy_handler, h.get(), vht);
    // A later message without bands must not clear anything.
    wiphy(h.get(), 0, "phy0");
    radio_stat *r = walk(&h->radios).at(0);
    EXPECT_EQ(r->phy_modes, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HT | AIRTALLY_MODE_VHT);

    NlReply vht_mcs(NL80211_CMD_NEW_WIPHY);
    vht_mcs.u32(NL80211_ATTR_WIPHY, 5)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_5GHZ)
        .bytes(NL80211_BAND_ATTR_VHT_MCS_SET, std::vector<uint8_t>(8, 0))
        .close()
        .close();
    feed(wiphy_handler, h.get(), vht_mcs);
    EXPECT_EQ(walk(&h->radios).at(1)->phy_modes, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_VHT);
}

TEST(WiphyHandler, HeComesFromInterfaceTypeDataAndSkipsEntriesThatDoNotParse)
{
    auto h = bare_handle();
    // Band with only interface-type data: the first entry is malformed (its
    // nested attribute claims more bytes than it has), the second has no HE
    // attribute, the third carries HE PHY capabilities.
    NlReply m(NL80211_CMD_NEW_WIPHY);
    m.u32(NL80211_ATTR_WIPHY, 2)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_6GHZ)
        .open(NL80211_BAND_ATTR_IFTYPE_DATA)
        .bytes(1, {0x40, 0x00, 0x02, 0x00, 0, 0, 0, 0}) // inner nla_len 64 > 4 bytes left
        .open(2)
        .u32(NL80211_BAND_IFTYPE_ATTR_IFTYPES, 1u << NL80211_IFTYPE_AP)
        .close()
        .open(3)
        .bytes(NL80211_BAND_IFTYPE_ATTR_HE_CAP_PHY, std::vector<uint8_t>(11, 0))
        .close()
        .close()
        .close()
        .close();
    feed(wiphy_handler, h.get(), m);
    EXPECT_EQ(walk(&h->radios).at(0)->phy_modes, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HE);

    for (int he_attr :
         {NL80211_BAND_IFTYPE_ATTR_HE_CAP_MAC, NL80211_BAND_IFTYPE_ATTR_HE_CAP_MCS_SET,
          NL80211_BAND_IFTYPE_ATTR_HE_CAP_PPE}) {
        auto h2 = bare_handle();
        NlReply one(NL80211_CMD_NEW_WIPHY);
        one.u32(NL80211_ATTR_WIPHY, 0)
            .open(NL80211_ATTR_WIPHY_BANDS)
            .open(NL80211_BAND_5GHZ)
            .open(NL80211_BAND_ATTR_IFTYPE_DATA)
            .open(1)
            .bytes(he_attr, {1, 2})
            .close()
            .close()
            .close()
            .close();
        feed(wiphy_handler, h2.get(), one);
        EXPECT_EQ(walk(&h2->radios).at(0)->phy_modes, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HE)
            << "HE attribute " << he_attr;
    }

    // Interface-type data for EHT only is not HE.
    auto h3 = bare_handle();
    NlReply eht(NL80211_CMD_NEW_WIPHY);
    eht.u32(NL80211_ATTR_WIPHY, 0)
        .open(NL80211_ATTR_WIPHY_BANDS)
        .open(NL80211_BAND_5GHZ)
        .open(NL80211_BAND_ATTR_IFTYPE_DATA)
        .open(1)
        .bytes(NL80211_BAND_IFTYPE_ATTR_EHT_CAP_MAC, {1, 2})
        .close()
        .close()
        .close()
        .close();
    feed(wiphy_handler, h3.get(), eht);
    EXPECT_EQ(walk(&h3->radios).at(0)->phy_modes, AIRTALLY_MODE_REPORTED);
}

TEST(WiphyHandler, MessagesWithoutAUsablePhyAreIgnored)
{
    auto h = bare_handle();
    NlReply none(NL80211_CMD_NEW_WIPHY);
    none.str(NL80211_ATTR_WIPHY_NAME, "phy0");
    feed(wiphy_handler, h.get(), none);
    // Too short to be a u32: read as absent rather than past its end.
    NlReply shorty(NL80211_CMD_NEW_WIPHY);
    shorty.bytes(NL80211_ATTR_WIPHY, {1, 0}).str(NL80211_ATTR_WIPHY_NAME, "phy1");
    feed(wiphy_handler, h.get(), shorty);
    EXPECT_TRUE(walk(&h->radios).empty());
}

TEST(IfaceHandler, FillsOnlyKnownPhysFirstNameLastValues)
{
    auto h = bare_handle();
    wiphy(h.get(), 0, "phy0");
    wiphy(h.get(), 1, "phy1");
    // An interface on a phy the wiphy dump did not report creates nothing.
    iface(h.get(), 7, 40, "ghost0", 2412);

    NlReply first(NL80211_CMD_NEW_INTERFACE);
    first.u32(NL80211_ATTR_WIPHY, 0)
        .u32(NL80211_ATTR_IFINDEX, 10)
        .str(NL80211_ATTR_IFNAME, "wlan0")
        .bytes(NL80211_ATTR_MAC, {0x02, 0, 0, 0, 0, 0x01})
        .u32(NL80211_ATTR_WIPHY_FREQ, 2412)
        .u32(NL80211_ATTR_CHANNEL_WIDTH, NL80211_CHAN_WIDTH_20_NOHT)
        .u32(NL80211_ATTR_WIPHY_TX_POWER_LEVEL, 2050);
    feed(iface_handler, h.get(), first);
    // The second interface of phy0 has no width or power of its own.
    NlReply second(NL80211_CMD_NEW_INTERFACE);
    second.u32(NL80211_ATTR_WIPHY, 0)
        .u32(NL80211_ATTR_IFINDEX, 11)
        .str(NL80211_ATTR_IFNAME, "wlan0-1")
        .bytes(NL80211_ATTR_MAC, {0x02, 0, 0, 0, 0, 0x02})
        .u32(NL80211_ATTR_WIPHY_FREQ, 5180);
    feed(iface_handler, h.get(), second);

    auto radios = walk(&h->radios);
    ASSERT_EQ(radios.size(), 2u);
    radio_stat *r0 = radios[0];
    EXPECT_STREQ(r0->ifname, "wlan0");
    EXPECT_EQ(r0->ifindex, 11u);
    EXPECT_EQ(r0->freq, 5180u);
    EXPECT_EQ(r0->mac[5], 0x02);
    EXPECT_EQ(r0->chan_width, 20);
    EXPECT_EQ(r0->tx_power, 20); // 2050 mBm
    EXPECT_STREQ(r0->phy_name, "phy0");

    // A radio with no interface keeps its interface members at zero.
    radio_stat *r1 = radios[1];
    EXPECT_STREQ(r1->ifname, "");
    EXPECT_EQ(r1->ifindex, 0u);
    EXPECT_EQ(r1->freq, 0u);
    EXPECT_EQ(r1->chan_width, 0);
    EXPECT_EQ(r1->tx_power, 0);
    for (uint8_t b : r1->mac)
        EXPECT_EQ(b, 0);
}

TEST(IfaceHandler, ChannelWidthTable)
{
    struct Case {
        uint32_t nl;
        int mhz; // -1: not in the table
    } cases[] = {
        {NL80211_CHAN_WIDTH_20_NOHT, 20}, {NL80211_CHAN_WIDTH_20, 20},
        {NL80211_CHAN_WIDTH_40, 40},      {NL80211_CHAN_WIDTH_80, 80},
        {NL80211_CHAN_WIDTH_80P80, 160},  {NL80211_CHAN_WIDTH_160, 160},
        {NL80211_CHAN_WIDTH_5, -1},       {NL80211_CHAN_WIDTH_10, -1},
        {NL80211_CHAN_WIDTH_320, -1},     {99, -1},
    };
    for (const Case &c : cases) {
        auto h = bare_handle();
        wiphy(h.get(), 0, "phy0");
        radio_stat *r = walk(&h->radios).at(0);
        r->chan_width = 77; // what an earlier refresh left
        NlReply m(NL80211_CMD_NEW_INTERFACE);
        m.u32(NL80211_ATTR_WIPHY, 0).u32(NL80211_ATTR_CHANNEL_WIDTH, c.nl);
        wdtest::FdCapture err(2);
        feed(iface_handler, h.get(), m);
        std::string printed = err.text();
        if (c.mhz < 0) {
            EXPECT_EQ(r->chan_width, 77) << "width " << c.nl;
            EXPECT_EQ(printed, "Failed to find channel width\n") << "width " << c.nl;
        } else {
            EXPECT_EQ(r->chan_width, c.mhz) << "width " << c.nl;
            EXPECT_EQ(printed, "") << "width " << c.nl;
        }
    }
}

// The kernel's mBm is signed in a u32; the byte holds the dBm in two's
// complement, truncated towards zero.
TEST(IfaceHandler, TransmitPowerTruncatesToWholeDbm)
{
    auto h = bare_handle();
    wiphy(h.get(), 0, "phy0");
    radio_stat *r = walk(&h->radios).at(0);
    for (auto [mbm, dbm] : {std::pair{2050, 20},
                            {2099, 20},
                            {0, 0},
                            {3000, 30},
                            {99, 0},
                            {-500, -5},
                            {-150, -1},
                            {-99, 0},
                            {-10000, -100}}) {
        NlReply m(NL80211_CMD_NEW_INTERFACE);
        m.u32(NL80211_ATTR_WIPHY, 0)
            .u32(NL80211_ATTR_WIPHY_TX_POWER_LEVEL, static_cast<uint32_t>(mbm));
        feed(iface_handler, h.get(), m);
        EXPECT_EQ(static_cast<int8_t>(r->tx_power), dbm) << mbm << " mBm";
    }
}

TEST(IfaceHandler, ShortAttributesAreNotReadPastTheirEnd)
{
    auto h = bare_handle();
    wiphy(h.get(), 0, "phy0");
    iface(h.get(), 0, 5, "wlan0", 2437);
    NlReply m(NL80211_CMD_NEW_INTERFACE);
    m.u32(NL80211_ATTR_WIPHY, 0)
        .bytes(NL80211_ATTR_MAC, {0xaa, 0xbb}) // a MAC needs 6
        .bytes(NL80211_ATTR_WIPHY_FREQ, {0x01});
    feed(iface_handler, h.get(), m);
    radio_stat *r = walk(&h->radios).at(0);
    EXPECT_EQ(r->freq, 2437u);
    EXPECT_EQ(r->mac[0], 0);
}

TEST(RegHandler, CountryOnlyForPhysWithTheirOwnDomain)
{
    auto h = bare_handle();
    wiphy(h.get(), 0, "phy0");
    wiphy(h.get(), 1, "phy1");
    NlReply global(NL80211_CMD_GET_REG);
    global.str(NL80211_ATTR_REG_ALPHA2, "US");
    feed(reg_handler, h.get(), global);
    NlReply own(NL80211_CMD_GET_REG);
    own.u32(NL80211_ATTR_WIPHY, 1).str(NL80211_ATTR_REG_ALPHA2, "DEX"); // cut at 2
    feed(reg_handler, h.get(), own);
    NlReply unknown(NL80211_CMD_GET_REG);
    unknown.u32(NL80211_ATTR_WIPHY, 9).str(NL80211_ATTR_REG_ALPHA2, "JP");
    feed(reg_handler, h.get(), unknown);

    auto radios = walk(&h->radios);
    ASSERT_EQ(radios.size(), 2u);
    EXPECT_STREQ(radios[0]->country, "");
    EXPECT_STREQ(radios[1]->country, "DE");
}

TEST(RadioList, RefreshGivesTheCurrentStateInPlaceAndFreeAllEmpties)
{
    auto h = bare_handle();
    radio_stat_free_all(h.get()); // empty: nothing to do
    EXPECT_EQ(h->radios.next, &h->radios);
    EXPECT_EQ(h->radios.prev, &h->radios);

    wiphy(h.get(), 0, "phy0");
    wiphy(h.get(), 1, "phy1");
    iface(h.get(), 0, 10, "wlan0", 2412);
    radio_stat *first = walk(&h->radios).at(0);
    // Second refresh: phy1 is gone, phy2 is new (at the tail), phy0 was
    // renamed and lost its only interface.
    Refresh<radio_stat> refresh;
    refresh_begin(&refresh, &h->radios);
    wiphy(h.get(), 2, "phy2");
    wiphy(h.get(), 0, "renamed");
    refresh_end(&refresh, true, &radio_stat::phy, [](const radio_stat &, radio_stat &) {});
    auto radios = walk(&h->radios);
    ASSERT_EQ(radios.size(), 2u);
    EXPECT_EQ(radios[0], first);
    EXPECT_STREQ(radios[0]->phy_name, "renamed");
    EXPECT_STREQ(radios[0]->ifname, "");
    EXPECT_EQ(radios[0]->freq, 0u);
    EXPECT_EQ(radios[1]->phy, 2u);
    EXPECT_TRUE(links_consistent(&h->radios));

    radio_stat_free_all(h.get());
    EXPECT_EQ(h->radios.next, &h->radios);
    EXPECT_EQ(h->radios.prev, &h->radios);
    wiphy(h.get(), 4, "phy4");
    radios = walk(&h->radios);
    ASSERT_EQ(radios.size(), 1u);
    EXPECT_EQ(radios[0]->phy, 4u);
    EXPECT_STREQ(radios[0]->ifname, ""); // a fresh, zero-filled record
}
