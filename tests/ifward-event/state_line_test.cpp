// SPDX-License-Identifier: MIT
#include "state_line.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace
{

struct Scanned {
    LineScan scan;
    StateLine line{};
    std::string text;
};

Scanned scan(std::string piece)
{
    Scanned s;
    const char *text = nullptr;
    s.scan = state_line_scan(piece.data(), &s.line, &text);
    if (text)
        s.text = text;
    return s;
}

TEST(StateLineScan, SplitsTrimsAndTakesTheFirstWordOfTheValue)
{
    Scanned s = scan(" \t eth0.mac=00:11:22:33:44:55  trailing words \t\r\n");
    ASSERT_EQ(s.scan, LINE_OK);
    EXPECT_STREQ(s.line.ifname, "eth0");
    EXPECT_STREQ(s.line.property, "mac");
    EXPECT_STREQ(s.line.value, "00:11:22:33:44:55");
    EXPECT_EQ(s.text, "eth0.mac=00:11:22:33:44:55  trailing words");

    // The interface ends at the first dot; the property may hold more.
    s = scan("eth0.100.enabled=1\n");
    ASSERT_EQ(s.scan, LINE_OK);
    EXPECT_STREQ(s.line.ifname, "eth0");
    EXPECT_STREQ(s.line.property, "100.enabled");

    s = scan("eth0.exists= \t 0\n");
    ASSERT_EQ(s.scan, LINE_OK);
    EXPECT_STREQ(s.line.value, "0");
}

TEST(StateLineScan, CommentsAndEmptyLinesAreSkipped)
{
    for (const char *piece : {"# comment\n", "   # indented\n", "\n", "\r\n", " \t \n", "", "   "})
        EXPECT_EQ(scan(piece).scan, LINE_SKIP) << '"' << piece << '"';
}

TEST(StateLineScan, MissingOrEmptyPartsAreMalformed)
{
    for (const char *piece : {"eth0 enabled 1\n", "eth0.enabled\n", ".enabled=1\n", "eth0.=1\n",
                              "eth0.enabled=\n", "eth0.enabled=  \t\n", "=.x\n"})
        EXPECT_EQ(scan(piece).scan, LINE_MALFORMED) << piece;
}

TEST(StateLineScan, OverLongPartsAreMalformedNotCut)
{
    const std::string if15(15, 'i'), p63(63, 'p'), v127(127, 'v');
    Scanned s = scan(if15 + "." + p63 + "=" + v127);
    ASSERT_EQ(s.scan, LINE_OK);
    EXPECT_EQ(std::string(s.line.ifname), if15);
    EXPECT_EQ(std::string(s.line.property), p63);
    EXPECT_EQ(std::string(s.line.value), v127);
    EXPECT_EQ(scan(if15 + "i." + p63 + "=" + v127).scan, LINE_MALFORMED);
    EXPECT_EQ(scan(if15 + "." + p63 + "p=" + v127).scan, LINE_MALFORMED);
    EXPECT_EQ(scan(if15 + "." + p63 + "=" + v127 + "v").scan, LINE_MALFORMED);
}

ApplyResult apply(StateDatagram *s, const char *property, const char *value)
{
    StateLine l{};
    std::strcpy(l.ifname, "eth0");
    std::strcpy(l.property, property);
    std::strcpy(l.value, value);
    return state_apply(s, l);
}

TEST(StateApply, FlagsAreAnyNonZeroNumber)
{
    StateDatagram s{};
    EXPECT_EQ(apply(&s, "enabled", "5"), APPLY_OK);
    EXPECT_EQ(apply(&s, "carrier", "-1"), APPLY_OK);
    EXPECT_EQ(apply(&s, "dormant", "4294967296"), APPLY_OK);
    EXPECT_EQ(apply(&s, "lldown", "yes"), APPLY_OK);
    EXPECT_EQ(apply(&s, "exists", "1"), APPLY_OK);
    EXPECT_EQ(apply(&s, "exists", "0"), APPLY_OK);
    EXPECT_EQ(s.enabled, 1);
    EXPECT_EQ(s.carrier, 1);
    EXPECT_EQ(s.dormant, 1) << "a large value must not wrap to 0";
    EXPECT_EQ(s.lldown, 0) << "text that is not a number counts as 0";
    EXPECT_EQ(s.exists, 0) << "the later line wins";
    EXPECT_EQ(apply(&s, "Enabled", "1"), APPLY_UNKNOWN);
    EXPECT_EQ(apply(&s, "100.enabled", "1"), APPLY_UNKNOWN);
}

TEST(StateApply, AddressLinesSetThePrefixAndPrefixLinesMustComeAfter)
{
    StateDatagram s{};
    EXPECT_EQ(apply(&s, "ipv4_address", "10.0.0.1/24"), APPLY_OK);
    EXPECT_EQ(s.ipv4_prefix, 24);
    EXPECT_EQ(apply(&s, "ipv4_prefix", "16"), APPLY_OK);
    EXPECT_EQ(s.ipv4_prefix, 16);
    EXPECT_EQ(apply(&s, "ipv4_address", "10.0.0.1"), APPLY_OK);
    EXPECT_EQ(s.ipv4_prefix, 32);
    EXPECT_EQ(std::vector<uint8_t>(s.ipv4_addr, s.ipv4_addr + 4),
              (std::vector<uint8_t>{10, 0, 0, 1}));
    EXPECT_EQ(apply(&s, "ipv6_address", "fe80::1"), APPLY_OK);
    EXPECT_EQ(s.ipv6_prefix, 128);
    EXPECT_EQ(s.ipv6_addr[0], 0xfe);
    EXPECT_EQ(apply(&s, "ipv6_prefix", "x"), APPLY_OK);
    EXPECT_EQ(s.ipv6_prefix, 0);
}

TEST(StateApply, InvalidValuesLogTheirPropertyError)
{
    const std::pair<const char *, const char *> bad[] = {
        {"mac", "zz"},          {"ipv4_address", "2001:db8::1"}, {"ipv4_address", "10.0.0.1/33"},
        {"ipv4_prefix", "33"},  {"ipv4_prefix", "-1"},           {"ipv6_address", "10.0.0.1"},
        {"ipv6_prefix", "129"}, {"ipv6_prefix", "4294967296"},   {"mac", "00:11:22:33:44"}};
    for (auto [property, value] : bad) {
        StateDatagram s{};
        testing::internal::CaptureStderr();
        EXPECT_EQ(apply(&s, property, value), APPLY_INVALID) << property << "=" << value;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("Error: Invalid eth0.") + property + " value: " + value + "\n");
    }
}

} // namespace
