// SPDX-License-Identifier: MIT
// The rendered text of awkward records (quotes, backslashes, line feeds and
// bytes that are not UTF-8 in names, unknown suites, a radio without a
// channel) read by Prometheus' own parser and linter.
#include "metrics_text.h"
#include "records.h"
#include "subprocess.h"

#include <gtest/gtest.h>

using namespace airtally_exporter;
using namespace airtally_exporter_test;

TEST(Promtool, AcceptsAwkwardRecords)
{
    if (std::string(PROMTOOL).find("NOTFOUND") != std::string::npos)
        GTEST_SKIP() << "SKIPPED: promtool not found (tools/setup installs Debian's prometheus)";
    radio_stat odd = radio(7, "ph\"y\\7", 0, AIRTALLY_MODE_REPORTED | AIRTALLY_MODE_HE);
    strcpy(odd.country, "\xff\xfe");
    List<radio_stat> radios({radio(0, "phy0", 5180, AIRTALLY_MODE_REPORTED), odd});
    vap_stat ap = vap(2, "wlan0", 3, "a\"b\\c\nd \xc3\xa9 \xff\xc3");
    ap.key_mgmt = 0x000FAC0D;
    ap.wpa = AIRTALLY_WPA_WPA1 | AIRTALLY_WPA_RSN;
    vap_stat odd_vap = vap(9, "we\nird", 99, "\x01\x7f");
    List<vap_stat> vaps({ap, odd_vap});
    ExporterCounters c;
    c.scrapes = 3;
    c.scrape_seconds = 4.000123;
    const std::string text = render_metrics(&radios.head, &vaps.head, c);
    const wdtest::Outcome check = wdtest::run({PROMTOOL, "check", "metrics"}, text, 20000);
    EXPECT_TRUE(check.exited);
    EXPECT_EQ(check.status, 0) << check.out << check.err << text;
    // Nothing for its linter to say either.
    EXPECT_EQ(check.out + check.err, "") << text;
}
