// SPDX-License-Identifier: MIT
// airtally-show's table and JSON, from lists built by hand.
#include "show_format.h"

#include <cstdio>
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
        r1.tx_power = 251; // -5 dBm

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
              "\"antenna_rx\":0,\"freq\":0,\"chan_width\":0,\"phy_modes\":1,\"tx_power\":-5}],"
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
    EXPECT_NE(t.find("0     0     -5      "), std::string::npos) << t;
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

namespace
{

// The "ssid" member of the JSON for one VAP whose SSID is `ssid`; "" when the
// member is missing or cut.
std::string ssid_json(const char *ssid)
{
    Lists l;
    std::memset(l.ap.ssid, 0, sizeof(l.ap.ssid));
    std::memcpy(l.ap.ssid, ssid, std::strlen(ssid));
    std::string json = format_json(&l.radios, &l.vaps);
    size_t from = json.find("\"ssid\":"), to = json.find(",\"use_4addr\":");
    if (from == std::string::npos || to == std::string::npos || to < from)
        return "";
    return json.substr(from + 7, to - from - 7);
}

} // namespace

TEST(AirtallyShow, WellFormedUtf8PassesThroughUnescaped)
{
    // é, € and a four-byte character; then the lowest and highest code
    // point of three and four bytes and the highest of two.
    EXPECT_EQ(ssid_json("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb6"),
              "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb6\"");
    EXPECT_EQ(ssid_json("\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf\xdf\xbf"),
              "\"\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf\xdf\xbf\"");
    // C1 controls are well-formed but act on terminals: escaped as themselves
    // (U+00A0 right after them is not one).
    EXPECT_EQ(ssid_json("a\xc2\x85"
                        "b\xc2\x9f\xc2\xa0"),
              "\"a\\u0085b\\u009f\xc2\xa0\"");
}

TEST(AirtallyShow, BytesOutsideWellFormedUtf8AreEscapedOneByOne)
{
    EXPECT_EQ(ssid_json("\x80x\xff"), "\"\\u0080x\\u00ff\""); // stray bytes
    EXPECT_EQ(ssid_json("\xe2\x82x"), "\"\\u00e2\\u0082x\""); // cut sequence
    EXPECT_EQ(ssid_json("\xe2\x82"), "\"\\u00e2\\u0082\"");   // cut at the end
    EXPECT_EQ(ssid_json("\xc0\xaf\xe0\x9f\xbf"),              // overlong forms
              "\"\\u00c0\\u00af\\u00e0\\u009f\\u00bf\"");
    EXPECT_EQ(ssid_json("\xed\xa0\x80"), "\"\\u00ed\\u00a0\\u0080\""); // a surrogate
    EXPECT_EQ(ssid_json("\xf4\x90\x80\x80"),                           // above U+10FFFF
              "\"\\u00f4\\u0090\\u0080\\u0080\"");
}

TEST(AirtallyShow, ControlBytesAreEscapedAndLongRecordsAreNotCut)
{
    // A 32-byte SSID (the most the kernel reports) of every C0 control and DEL.
    std::string ssid, want = "\"";
    for (int c = 1; c < 0x20; ++c)
        ssid += static_cast<char>(c);
    ssid += '\x7f';
    ASSERT_EQ(ssid.size(), 32u);
    for (unsigned char c : ssid) {
        char buf[8];
        std::snprintf(buf, sizeof(buf), "\\u%04x", c);
        want += buf;
    }
    EXPECT_EQ(ssid_json(ssid.c_str()), want + "\"");

    // Every string member full of control bytes: the record's text runs to
    // several times its fields' size and must still come out whole.
    Lists l;
    std::memset(l.ap.ssid, 0x01, sizeof(l.ap.ssid) - 1);
    std::memset(l.ap.ifname, 0x02, sizeof(l.ap.ifname) - 1);
    std::string json = format_json(&l.radios, &l.vaps);
    auto escaped = [](const char *e, size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += e;
        return s;
    };
    std::string vap = "{\"ifindex\":3,\"ifname\":\"" + escaped("\\u0002", 15) +
                      "\",\"mac\":\"02:00:00:00:00:0a\",\"phy\":0,\"iftype\":3,\"ssid\":\"" +
                      escaped("\\u0001", 63) +
                      "\",\"use_4addr\":0,\"wpa\":2,\"key_mgmt\":1027074,"
                      "\"pairwise_cipher\":1027076,\"group_cipher\":1027076}]}\n";
    size_t vaps = json.find("],\"vaps\":[");
    ASSERT_NE(vaps, std::string::npos) << json;
    EXPECT_EQ(json.substr(vaps + 10), vap);
}
