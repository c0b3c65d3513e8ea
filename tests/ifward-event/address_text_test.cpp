// SPDX-License-Identifier: MIT
#include "address_text.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

TEST(MacText, AcceptsOneOrTwoDigitFieldsOfEitherCase)
{
    uint8_t mac[6];
    ASSERT_TRUE(parse_mac_text("00:11:22:aA:Bb:fF", mac));
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6),
              (std::vector<uint8_t>{0x00, 0x11, 0x22, 0xaa, 0xbb, 0xff}));
    ASSERT_TRUE(parse_mac_text("0:1:2:3:4:5", mac));
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 6), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
    // Whatever follows the sixth field is not read.
    ASSERT_TRUE(parse_mac_text("01:02:03:04:05:067:08 junk", mac));
    EXPECT_EQ(mac[5], 0x06);
}

TEST(MacText, RejectsWhatIsNotSixFields)
{
    uint8_t mac[6] = {9, 9, 9, 9, 9, 9};
    for (const char *bad :
         {"", "00:11:22:33:44", "00:11:22:33:44:", "zz:11:22:33:44:55", "001:1:2:3:4:5",
          "00-11-22-33-44-55", ":00:11:22:33:44:55", "00:11:22:33:44:g5", "0x:1:2:3:4:5"})
        EXPECT_FALSE(parse_mac_text(bad, mac)) << bad;
    EXPECT_EQ(mac[0], 9) << "a rejected text must leave the output alone";
}

TEST(AddressText, DefaultsAndExplicitPrefixes)
{
    ParsedAddress a;
    ASSERT_TRUE(parse_address_text("192.168.1.100/24", &a));
    EXPECT_EQ(a.family, 2);
    EXPECT_EQ(a.prefix_len, 24);
    EXPECT_EQ(std::vector<uint8_t>(a.addr, a.addr + 16),
              (std::vector<uint8_t>{192, 168, 1, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(parse_address_text("10.0.0.1", &a));
    EXPECT_EQ(a.prefix_len, 32);
    ASSERT_TRUE(parse_address_text("2001:db8::1", &a));
    EXPECT_EQ(a.family, 10);
    EXPECT_EQ(a.prefix_len, 128);
    EXPECT_EQ(a.addr[0], 0x20);
    EXPECT_EQ(a.addr[1], 0x01);
    EXPECT_EQ(a.addr[15], 0x01);
    ASSERT_TRUE(parse_address_text("2001:db8::1/128", &a));
    EXPECT_EQ(a.prefix_len, 128);
    // A prefix that is not a number reads as 0, as do an empty one and one
    // with trailing text after its digits.
    ASSERT_TRUE(parse_address_text("10.0.0.1/x", &a));
    EXPECT_EQ(a.prefix_len, 0);
    ASSERT_TRUE(parse_address_text("10.0.0.1/", &a));
    EXPECT_EQ(a.prefix_len, 0);
    ASSERT_TRUE(parse_address_text("10.0.0.1/8/9", &a));
    EXPECT_EQ(a.prefix_len, 8);
}

TEST(AddressText, RejectsBadAddressesAndPrefixesOfAnySize)
{
    ParsedAddress a;
    for (const char *bad : {"", "/24", "10.0.0.256", "10.0.0", "eth0", "10.0.0.1/33", "10.0.0.1/-1",
                            "10.0.0.1/264", "10.0.0.1/4294967320", "10.0.0.1/99999999999999999999",
                            "2001:db8::1/129", "2001:db8::1/-128", "2001:db8::g"})
        EXPECT_FALSE(parse_address_text(bad, &a)) << bad;
}

TEST(AddressText, OverLongTextIsRefusedNotCut)
{
    // Cut at 255 characters this would read as prefix 0; whole it is 3.
    std::string text = "10.0.0.1/" + std::string(246, '0') + "3";
    ParsedAddress a;
    EXPECT_FALSE(parse_address_text(text.c_str(), &a));
    text.pop_back();
    EXPECT_TRUE(parse_address_text(text.c_str(), &a)) << "255 characters still fit";
    EXPECT_FALSE(parse_address_text(std::string(100000, '1').c_str(), &a));
}

TEST(DecimalText, NonNumbersAreZeroAndHugeValuesSaturate)
{
    EXPECT_EQ(parse_decimal_text("abc"), 0);
    EXPECT_EQ(parse_decimal_text("12abc"), 12);
    EXPECT_EQ(parse_decimal_text("-7"), -7);
    EXPECT_GT(parse_decimal_text("4294967296"), 32) << "must not wrap into a small value";
    EXPECT_LT(parse_decimal_text("-99999999999999999999999"), 0);
}

} // namespace
