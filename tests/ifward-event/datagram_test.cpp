// SPDX-License-Identifier: MIT
#include "datagram.h"
#include "expected_bytes.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

using ifwtest::Bytes;

Bytes image(const EventDatagram &d)
{
    auto b = datagram_bytes(d);
    return Bytes(reinterpret_cast<const uint8_t *>(b.data()),
                 reinterpret_cast<const uint8_t *>(b.data()) + b.size());
}

// The known names are checked through the tool's messages; here only
// that codes between and around the groups are not mistaken for one.
TEST(EventName, CodesOutsideTheTableAreUnknown)
{
    for (int32_t code : {0, 6, 16, 21, 32, 35, -1, 0x7fffffff})
        EXPECT_STREQ(event_name(code), "UNKNOWN") << code;
}

TEST(EventDatagramImage, NameIsCutAndPadded)
{
    EventDatagram d{};
    d.event = EV_IF_UP;
    d.ifindex = 7;
    std::memset(d.ifname, 'x', sizeof(d.ifname)); // must all be overwritten
    datagram_copy_name(d.ifname, "abcdefghijklmnopqrst");
    EXPECT_EQ(image(d), ifwtest::event_bytes(3, 7, "abcdefghijklmno"));
    datagram_copy_name(d.ifname, "lo");
    EXPECT_EQ(image(d), ifwtest::event_bytes(3, 7, "lo"));
}

TEST(EventDatagramImage, MacAndAddressPayloads)
{
    EventDatagram d{};
    d.event = EV_IF_MAC;
    datagram_copy_name(d.ifname, "eth0");
    event_set_mac(&d, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    EXPECT_EQ(image(d), ifwtest::with_mac(ifwtest::event_bytes(5, 0, "eth0"),
                                          {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));

    // An address written over a MAC must leave none of the MAC behind.
    uint8_t v4[16] = {10, 0, 0, 1};
    d.event = EV_ADDR_ASSIGN;
    event_set_address(&d, 2, 24, v4);
    EXPECT_EQ(image(d),
              ifwtest::with_address(ifwtest::event_bytes(33, 0, "eth0"), 2, 24, {10, 0, 0, 1}));
}

} // namespace
