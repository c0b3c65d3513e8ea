// SPDX-License-Identifier: MIT
// The radios' air lines as metrics: which line speaks for a channel, what a
// broken line changes, the bound and the expiry of centres.
#include "air_metrics.h"
#include "air_line_text.h"

#include <gtest/gtest.h>

using namespace airtally_exporter;

namespace
{

std::string samples(const std::vector<const AirRadio *> &radios)
{
    std::string text, out;
    append_air_metrics(text, radios);
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (text[at] != '#')
            out += text.substr(at, end + 1 - at);
    }
    return out;
}

wdtest::AirLineText capture(int freq, uint64_t timestamp, std::vector<wdtest::AirChannelText> ch)
{
    wdtest::AirLineText l;
    l.freq_mhz = freq;
    l.bandwidth_mhz = 40;
    l.timestamp = timestamp;
    l.noise_floor_dbm = -100 + freq % 10;
    l.channels = std::move(ch);
    return l;
}

} // namespace

TEST(AirMetrics, NewestLineSpeaksForAChannelBrokenLinesChangeNothing)
{
    AirRadio r{"wlan0", true, 0, {}};
    wdtest::AirLineText newer = capture(2447, 200, {{6, 2437, 0.5, 60}, {7, 2442, 0.125, 100}});
    newer.signals = {{"microwave"}, {"wifi"}, {"microwave"}};
    wdtest::AirLineText broken = capture(2447, 300, {{6, 2437, 0.9, 101}});
    const std::pair<std::string, AirTake> feed[] = {
        {wdtest::air_line(newer), AirTake::Kept},
        // Arrives later but measured earlier: channel 6 stays the newer's.
        {wdtest::air_line(capture(2437, 100, {{6, 2437, 0.25, 80}})), AirTake::Kept},
        {wdtest::air_line(broken), AirTake::Refused},
        {R"({"detector":0,"freq_mhz":2437,"bins":[]})", AirTake::Ignored},
    };
    for (const auto &[line, want] : feed)
        EXPECT_EQ(air_radio_take(r, line, 0), want) << line;
    const AirRadio down{"wlan1", false, 0, {}};
    EXPECT_EQ(samples({&r, &down}),
              "wifidiag_air_daemon_up{radio=\"wlan0\"} 1\n"
              "wifidiag_air_daemon_up{radio=\"wlan1\"} 0\n"
              "wifidiag_air_noise_floor_dbm{radio=\"wlan0\",mhz=\"2437\"} -93\n"
              "wifidiag_air_noise_floor_dbm{radio=\"wlan0\",mhz=\"2447\"} -93\n"
              "wifidiag_air_channel_utilisation_ratio{radio=\"wlan0\",channel=\"6\",mhz=\"2437\"} "
              "0.5\n"
              "wifidiag_air_channel_utilisation_ratio{radio=\"wlan0\",channel=\"7\",mhz=\"2442\"} "
              "0.125\n"
              "wifidiag_air_quality{radio=\"wlan0\",channel=\"6\",mhz=\"2437\"} 60\n"
              "wifidiag_air_quality{radio=\"wlan0\",channel=\"7\",mhz=\"2442\"} 100\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"continuous\"} 0\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"hopper\"} 0\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"microwave\"} 2\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"narrowband\"} 0\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"pulsed\"} 0\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"unknown\"} 0\n"
              "wifidiag_air_signals{radio=\"wlan0\",class=\"wifi\"} 1\n");
    EXPECT_EQ(samples({}), "");
}

TEST(AirMetrics, AtMost64CentresPerRadioTheStalestGoFirst)
{
    constexpr int64_t S = 1000000;
    AirRadio r{"wlan0", true, 0, {}};
    for (int i = 0; i < 70; i++) // 5180, 5200, ...: each heard once, a second apart
        ASSERT_EQ(air_radio_take(r, wdtest::air_line(capture(5180 + 20 * i, 1, {})), i * S),
                  AirTake::Kept);
    ASSERT_EQ(r.captures.size(), AIR_CAPTURES_PER_RADIO);
    EXPECT_EQ(r.captures.front().line.freq_mhz, 5180 + 20 * 6);
    // Heard again: kept in place, fresh.
    ASSERT_EQ(air_radio_take(r, wdtest::air_line(capture(5300, 1, {})), 70 * S), AirTake::Kept);
    air_radio_expire(r, 69 * S + AIR_CAPTURE_EXPIRY_US);
    ASSERT_EQ(r.captures.size(), 2u);
    EXPECT_EQ(r.captures[0].line.freq_mhz, 5300);
    EXPECT_EQ(r.captures[1].line.freq_mhz, 5180 + 20 * 69);
}
