// SPDX-License-Identifier: MIT
// The report builder feeds the capture tests, the daemon tests and the
// simulated driver; its bytes must match the drivers' formats exactly.
#include "spectral_report.h"

#include <gtest/gtest.h>

using namespace wdtest;

TEST(SpectralReport, Ath11kHeadFieldsAreBigEndianAtTheirOffsets)
{
    Ath11kReport r;
    r.type = 100;
    r.freq_mhz = 0x1234;
    r.rssi = 0xabcd;
    r.timestamp = 0x01020304;
    r.bins = std::vector<uint8_t>(8, 7);
    auto b = encode_report(r);
    ASSERT_EQ(b.size(), 28u + 8u);
    EXPECT_EQ(b[0], 100);
    EXPECT_EQ((b[1] << 8) | b[2], 33);
    EXPECT_EQ(b[12], 0x12);
    EXPECT_EQ(b[13], 0x34);
    EXPECT_EQ(b[18], 0xab);
    EXPECT_EQ(b[19], 0xcd);
    EXPECT_EQ(b[20], 1);
    EXPECT_EQ(b[23], 4);
    EXPECT_EQ(b[28], 7);
}

TEST(SpectralReport, Ath10kHeadFieldsAreBigEndianAtTheirOffsets)
{
    Ath10kReport r;
    r.noise_dbm = -2;
    r.freq_mhz = 5180;
    r.timestamp = 0x0102030405060708ull;
    r.rssi = 9;
    auto b = encode_report(r);
    ASSERT_EQ(b.size(), 29u + 64u);
    EXPECT_EQ((b[1] << 8) | b[2], 90);
    EXPECT_EQ((b[4] << 8) | b[5], 5180);
    EXPECT_EQ(b[8], 0xff);
    EXPECT_EQ(b[9], 0xfe);
    EXPECT_EQ(b[16], 1);
    EXPECT_EQ(b[23], 8);
    EXPECT_EQ(b[25], 9);
}
