// SPDX-License-Identifier: MIT
// The whole scrape text from hand-made library records: which series exist,
// their labels (names of suites, types and modes) and values in base units.
#include "metrics_text.h"
#include "names.h"
#include "records.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace airtally_exporter;
using namespace airtally_exporter_test;

namespace
{

std::vector<std::string> lines_starting(const std::string &text, const std::string &prefix)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        if (line.starts_with(prefix))
            out.push_back(line);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

} // namespace

TEST(MetricsText, RadiosInBaseUnitsWithTheirNames)
{
    List<radio_stat> radios({radio(0, "phy0", 2437, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HT),
                             radio(1, "phy1", 0, 0)});
    radios.records[1].tx_power = static_cast<uint8_t>(-5); // the library's two's complement
    List<vap_stat> vaps({});
    const std::string t = render_metrics(&radios.head, &vaps.head, {});
    EXPECT_EQ(
        lines_starting(t, "airtally_radio_info{"),
        (std::vector<std::string>{
            R"(airtally_radio_info{phy="0",phy_name="phy0",interface="wlan0",mac="02:00:00:00:00:0a",country="FI",ht="true",vht="false",he="false"} 1)",
            // Modes not reported at all: empty, not "false".
            R"(airtally_radio_info{phy="1",phy_name="phy1",interface="wlan0",mac="02:00:00:00:00:0a",country="FI",ht="",vht="",he=""} 1)"}));
    // A radio without a channel has no frequency or width series.
    EXPECT_EQ(lines_starting(t, "airtally_radio_frequency_hertz{"),
              std::vector<std::string>{R"(airtally_radio_frequency_hertz{phy="0"} 2437000000)"});
    EXPECT_EQ(lines_starting(t, "airtally_radio_channel_width_hertz{"),
              std::vector<std::string>{R"(airtally_radio_channel_width_hertz{phy="0"} 20000000)"});
    EXPECT_EQ(lines_starting(t, "airtally_radio_tx_power_dbm{"),
              (std::vector<std::string>{R"(airtally_radio_tx_power_dbm{phy="0"} 20)",
                                        R"(airtally_radio_tx_power_dbm{phy="1"} -5)"}));
    EXPECT_EQ(lines_starting(t, "airtally_radio_antenna_tx_mask{phy=\"1\"}"),
              std::vector<std::string>{R"(airtally_radio_antenna_tx_mask{phy="1"} 3)"});
    EXPECT_EQ(lines_starting(t, "airtally_radio_antenna_rx_mask{phy=\"0\"}"),
              std::vector<std::string>{R"(airtally_radio_antenna_rx_mask{phy="0"} 1)"});
    // Every family is introduced exactly once, before its samples.
    for (const char *family : {"airtally_radio_info", "airtally_radio_frequency_hertz",
                               "airtally_interface_info", "airtally_exporter_scrapes_total"})
        EXPECT_EQ(lines_starting(t, std::string("# TYPE ") + family + " ").size(), 1u) << family;
    for (const char *family : {"airtally_radio_info", "airtally_radio_frequency_hertz"})
        EXPECT_LT(t.find(std::string("# TYPE ") + family + " "),
                  t.find("\n" + std::string(family) + "{"))
            << family;
}

TEST(MetricsText, InterfacesWithSecurityByName)
{
    vap_stat ap = vap(5, "wlan0", 3, "lab \"net\"\n\xff");
    ap.wpa = AIRTALLY_WPA_RSN;
    ap.key_mgmt = 0x000FAC02;
    ap.pairwise_cipher = 0x000FAC04;
    ap.group_cipher = 0x000FAC0D; // no name: shown as its number
    vap_stat mon = vap(7, "mon0", 6, "");
    List<radio_stat> radios({});
    List<vap_stat> vaps({ap, mon});
    const std::string t = render_metrics(&radios.head, &vaps.head, {});
    EXPECT_EQ(
        lines_starting(t, "airtally_interface_info{"),
        (std::vector<std::string>{
            R"(airtally_interface_info{ifindex="5",interface="wlan0",phy="1",mac="02:00:00:00:01:ff",type="ap",ssid="lab \"net\"\n)"
            "\xef\xbf\xbd"
            R"(",wpa="RSN",key_mgmt="WPA-PSK",pairwise_cipher="CCMP",group_cipher="0x000fac0d"} 1)",
            R"(airtally_interface_info{ifindex="7",interface="mon0",phy="1",mac="02:00:00:00:01:ff",type="monitor",ssid="",wpa="",key_mgmt="",pairwise_cipher="",group_cipher=""} 1)"}));
}

TEST(MetricsText, SsidFillingItsWholeFieldIsNotOverread)
{
    vap_stat v = vap(1, "wlan0", 3, "");
    memset(v.ssid, 'x', sizeof(v.ssid)); // no NUL anywhere in the field
    v.use_4addr = 0x7f;                  // the byte after it must not show
    List<radio_stat> radios({});
    List<vap_stat> vaps({v});
    const std::string t = render_metrics(&radios.head, &vaps.head, {});
    EXPECT_NE(t.find("ssid=\"" + std::string(64, 'x') + "\","), std::string::npos) << t;
}

TEST(MetricsText, OwnCountersAlwaysPresent)
{
    List<radio_stat> radios({});
    List<vap_stat> vaps({});
    ExporterCounters c;
    c.scrapes = 12;
    c.errors[static_cast<size_t>(ErrorSource::ControlSocket)] = 4;
    c.scrape_seconds = 2.5;
    const std::string t = render_metrics(&radios.head, &vaps.head, c);
    EXPECT_EQ(
        lines_starting(t, "airtally_exporter_"),
        (std::vector<std::string>{
            "airtally_exporter_scrape_duration_seconds 2.5", "airtally_exporter_scrapes_total 12",
            R"(airtally_exporter_scrape_errors_total{source="init"} 0)",
            R"(airtally_exporter_scrape_errors_total{source="nl80211"} 0)",
            R"(airtally_exporter_scrape_errors_total{source="control_socket"} 4)"}));
    EXPECT_EQ(lines_starting(t, "# TYPE airtally_exporter_scrapes_total counter").size(), 1u);
    EXPECT_EQ(lines_starting(t, "airtally_radio_info{").size(), 0u);
}

// The table entries themselves are checked end to end against hostapd in the
// system test; here what the lookups do around them.
TEST(Names, UnknownAndOutOfRangeValues)
{
    using namespace airtally_names;
    EXPECT_EQ(key_mgmt_name(0x0050F202), "WPA-PSK"); // WPA's own OUI names the same suite
    EXPECT_EQ(key_mgmt_name(0), "");
    EXPECT_EQ(key_mgmt_name(0x000FAC07), "0x000fac07");
    EXPECT_EQ(cipher_name(0xdeadbeef), "0xdeadbeef");
    EXPECT_STREQ(wpa_name(AIRTALLY_WPA_WPA1 | AIRTALLY_WPA_RSN | 0x80), "WPA+RSN");
    EXPECT_STREQ(iftype_name(13), "other");
    EXPECT_EQ(modes_text(AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_VHT | AIRTALLY_MODE_HE), "VHT,HE");
}
