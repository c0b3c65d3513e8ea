// airtally-show's table and JSON, from lists built by hand.
#include "show_format.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace airtally_show;

namespace
{

struct Lists {
    radio_stat radios{};
    vap_stat vaps{};
    radio_stat r0{}, r1{};
    vap_stat ap{};
    Lists()
    {
        radios.next = &r0;
        r0.prev = &radios;
        r0.next = &r1;
        r1.prev = &r0;
        r1.next = &radios;
        radios.prev = &r1;
        vaps.next = vaps.prev = &ap;
        ap.next = ap.prev = &vaps;

        r0.phy = 0;
        std::strcpy(r0.phy_name, "phy0");
        std::strcpy(r0.ifname, "wlan0");
        r0.ifindex = 3;
        const uint8_t mac[6] = {0x02, 0, 0, 0, 0, 0x0a};
        std::memcpy(r0.mac, mac, 6);
        std::strcpy(r0.country, "US");
        r0.antenna_tx = 1;
        r0.antenna_rx = 3;
        r0.freq = 2437;
        r0.chan_width = 20;
        r0.phy_modes = AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HT | AIRTALLY_MODE_VHT;
        r0.tx_power = 20;
        r1.phy = 1;
        std::strcpy(r1.phy_name, "phy1");
        r1.phy_modes = AIRTALLY_MODE_REPORTED;

        ap.ifindex = 3;
        std::strcpy(ap.ifname, "wlan0");
        std::memcpy(ap.mac, mac, 6);
        ap.iftype = 3;
        std::strcpy(ap.ssid, "a \"b\"\\\x01\xe9");
        ap.wpa = 2;
        ap.key_mgmt = 0x000FAC02;
        ap.pairwise_cipher = 0x000FAC04;
        ap.group_cipher = 0x000FAC04;
    }
};

} // namespace

TEST(AirtallyShow, JsonCarriesEveryMemberWithStringsEscaped)
{
    Lists l;
    EXPECT_EQ(format_json(&l.radios, &l.vaps),
              "{\"radios\":["
              "{\"phy\":0,\"phy_name\":\"phy0\",\"ifname\":\"wlan0\",\"ifindex\":3,"
              "\"mac\":\"02:00:00:00:00:0a\",\"country\":\"US\",\"antenna_tx\":1,"
              "\"antenna_rx\":3,\"freq\":2437,\"chan_width\":20,\"phy_modes\":7,\"tx_power\":20},"
              "{\"phy\":1,\"phy_name\":\"phy1\",\"ifname\":\"\",\"ifindex\":0,"
              "\"mac\":\"00:00:00:00:00:00\",\"country\":\"\",\"antenna_tx\":0,"
              "\"antenna_rx\":0,\"freq\":0,\"chan_width\":0,\"phy_modes\":1,\"tx_power\":0}],"
              "\"vaps\":[{\"ifindex\":3,\"ifname\":\"wlan0\",\"mac\":\"02:00:00:00:00:0a\","
              "\"phy\":0,\"iftype\":3,\"ssid\":\"a \\\"b\\\"\\\\\\u0001\\u00e9\",\"use_4addr\":0,"
              "\"wpa\":2,\"key_mgmt\":1027074,\"pairwise_cipher\":1027076,"
              "\"group_cipher\":1027076}]}\n");
}

TEST(AirtallyShow, TableHasOneRowPerRecord)
{
    Lists l;
    std::string t = format_table(&l.radios, &l.vaps);
    EXPECT_NE(t.find("\n0    phy0            wlan0           3       02:00:00:00:00:0a US      "
                     "2437  20    20      HT,VHT     0x01/0x03\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("\n1    phy1            -               0"), std::string::npos) << t;
    EXPECT_NE(t.find("\nVAPS\n"), std::string::npos) << t;
    EXPECT_NE(t.find("\n3       wlan0           0    ap          02:00:00:00:00:0a 0     2   "
                     "0x000fac02 0x000fac04 0x000fac04 \"a "),
              std::string::npos)
        << t;
}

TEST(AirtallyShow, EmptyLists)
{
    radio_stat radios{};
    radios.next = radios.prev = &radios;
    vap_stat vaps{};
    vaps.next = vaps.prev = &vaps;
    EXPECT_EQ(format_json(&radios, &vaps), "{\"radios\":[],\"vaps\":[]}\n");
}
