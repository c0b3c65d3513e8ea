// SPDX-License-Identifier: MIT
#include "decode.h"
#include "expected_bytes.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

using namespace ifwtest;

std::string decoded(const Bytes &b)
{
    char line[DECODED_LINE_MAX];
    decode_datagram(b, line);
    return line;
}

// The usual forms are checked by the listener's component test; here what
// only a faulty or foreign sender produces.
TEST(ListenDecode, OddNamesAndUnknownCodes)
{
    EXPECT_EQ(decoded(event_bytes(99, 0, "a b\\")),
              "event UNKNOWN(99) ifindex=0 ifname=a\\x20b\\x5c");
    EXPECT_EQ(decoded(with_address(event_bytes(3, 0, "x"), 7, 1, {1})),
              "event IF_UP(3) ifindex=0 ifname=x "
              "payload="
              "0701000001000000000000000000000000000000000000000000000000000000 nonzero-padding");
}

TEST(ListenDecode, StatesClosingRecordAndOddDatagrams)
{
    StateFields f;
    f.ifindex = 4;
    f.name = "wlan0";
    f.carrier = 1;
    f.ipv4 = {10, 0, 0, 1};
    f.ipv4_prefix = 24;
    EXPECT_EQ(decoded(state_bytes(f)),
              "state ifindex=4 ifname=wlan0 exists=1 enabled=0 carrier=1 dormant=0 lldown=0 "
              "mac=00:00:00:00:00:00 ipv4=10.0.0.1/24 ipv6=::/0");
    EXPECT_EQ(decoded(closing_bytes()), "state closing");
    EXPECT_EQ(decoded(Bytes(7, 1)), "unknown length=7");

    Bytes dirty = with_mac(event_bytes(5, 0, "eth0"), {1, 2, 3, 4, 5, 6});
    dirty[40] = 1;
    EXPECT_NE(decoded(dirty).find("nonzero-padding"), std::string::npos);
    Bytes name_tail = event_bytes(3, 0, "eth0");
    name_tail[14] = 'x'; // after the name's NUL
    EXPECT_NE(decoded(name_tail).find("nonzero-padding"), std::string::npos);
}

} // namespace
