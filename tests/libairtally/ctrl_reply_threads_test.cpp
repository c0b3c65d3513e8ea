// SPDX-License-Identifier: MIT
// Reply parses running at the same time in several threads.
#include "ctrl_reply.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>

using namespace airtally;

namespace
{

vap_stat ap_parse(std::string reply)
{
    vap_stat v{};
    parse_ap_reply(&v, reply.data());
    return v;
}

vap_stat sta_parse(vap_stat v, std::string reply)
{
    parse_sta_reply(&v, reply.data());
    return v;
}

} // namespace

// The parser used to keep its position in process-wide state: two parses at
// once (different handles, different threads) then read each other's lines.
TEST(ReplyParsing, ParsesRunningSideBySideDoNotDisturbEachOther)
{
    std::string ap_text, sta_text;
    for (int i = 0; i < 200; ++i) {
        ap_text += "ignored_line_" + std::to_string(i) + "=value\n";
        sta_text += "other_" + std::to_string(i) + "=x\n";
    }
    ap_text += "wpa=1\nkey_mgmt=SAE\nrsn_pairwise_cipher=GCMP\ngroup_cipher=TKIP\n";
    sta_text += "key_mgmt=OWE\npairwise_cipher=CCMP-256\ngroup_cipher=WEP104\n"
                "dot11RSNAPairwiseCipherSelected=00-0f-ac-10\n";
    // Enough rounds for the threads to overlap many times.
    constexpr int kRounds = 300;
    std::atomic<int> bad{0};
    auto run_ap = [&] {
        for (int i = 0; i < kRounds; ++i) {
            vap_stat v = ap_parse(ap_text);
            if (v.wpa != 1 || v.key_mgmt != 0x000FAC08 || v.pairwise_cipher != 0x000FAC08 ||
                v.group_cipher != 0x000FAC02)
                ++bad;
        }
    };
    auto run_sta = [&] {
        for (int i = 0; i < kRounds; ++i) {
            vap_stat v = sta_parse(vap_stat{}, sta_text);
            if (v.wpa != 2 || v.key_mgmt != 0x000FAC12 || v.pairwise_cipher != 0x000FAC0A ||
                v.group_cipher != 0x000FAC05)
                ++bad;
        }
    };
    std::thread a(run_ap), b(run_sta);
    run_ap();
    run_sta();
    a.join();
    b.join();
    EXPECT_EQ(bad.load(), 0);
}
