// SPDX-License-Identifier: MIT
#include "capture/spectral_config.h"
#include "radio/discovery.h"
#include "radio/radio_control.h"
#include "radio/radio_error.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

TEST(RadioErrorMessage, EveryCodeAndOutsiders)
{
    EXPECT_STREQ(radio_error_message(RadioError::Success), "Success");
    EXPECT_STREQ(radio_error_message(RadioError::InvalidParameters), "Invalid parameters");
    EXPECT_STREQ(radio_error_message(RadioError::TooManyChannels),
                 "Too many channels for sweep range");
    EXPECT_STREQ(radio_error_message(RadioError::NetlinkInitFailed),
                 "Netlink initialization failed");
    EXPECT_STREQ(radio_error_message(RadioError::MonitorNotFound), "Monitor interface not found");
    EXPECT_STREQ(radio_error_message(RadioError::ChannelSetFailed), "Channel set operation failed");
    EXPECT_STREQ(radio_error_message(RadioError::LinkQueryFailed), "Interface state query failed");
    EXPECT_STREQ(radio_error_message(RadioError::LinkSetFailed), "Interface state set failed");
    EXPECT_STREQ(radio_error_message(RadioError::PhyNotFound), "Phy not found");
    EXPECT_STREQ(radio_error_message(RadioError::RegulatoryQueryFailed),
                 "Regulatory domain query failed");
    for (int code : {10, -1, INT32_MIN, INT32_MAX})
        EXPECT_STREQ(radio_error_message(static_cast<RadioError>(code)), "Unknown error");
}

TEST(InitRadioControl, ClearsStateAndCopiesDiscovery)
{
    auto found = std::make_unique<DiscoveredInterface>();
    std::strcpy(found->monitor.name, "mon0");
    found->monitor.ifindex = 4;
    found->monitor.phy = 1;
    found->primary_count = 2;
    std::strcpy(found->primaries[0].name, "wlan0");
    found->primaries[0].ifindex = 5;
    std::strcpy(found->primaries[1].name, "wlan1");
    found->primaries[1].ifindex = 6;

    auto rc = std::make_unique<RadioControl>();
    std::memset(rc.get(), 0xa5, sizeof *rc); // leftovers of an earlier life
    auto spectral = std::make_unique<SpectralConfig>();
    init_radio_control(*rc, *found, *spectral);

    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
    EXPECT_EQ(rc->band, Band::BandUnknown);
    EXPECT_EQ(rc->spectral, spectral.get());
    EXPECT_EQ(rc->dwell_ms, 1000u);
    EXPECT_EQ(rc->channel_count, 0u);
    EXPECT_EQ(rc->channel_index, 0u);
    EXPECT_EQ(rc->sweep_start_ms, 0u);
    EXPECT_EQ(rc->last_hop_ms, 0u);
    EXPECT_EQ(rc->duration_ms, 0u);
    EXPECT_EQ(rc->remaining_ms, 0u);
    for (uint8_t mark : rc->primary_was_up)
        EXPECT_EQ(mark, 0);
    EXPECT_STREQ(rc->monitor.name, "mon0");
    EXPECT_EQ(rc->monitor.ifindex, 4);
    EXPECT_EQ(rc->monitor.phy, 1u);
    EXPECT_EQ(rc->primary_count, 2u);
    EXPECT_STREQ(rc->primaries[1].name, "wlan1");
    EXPECT_EQ(rc->primaries[1].ifindex, 6);
}

TEST(DiscoverInterface, NamesOfSixteenOrMoreAreRefusedUntouched)
{
    InterfaceInfo out{"keep", 77, 3};
    testing::internal::CaptureStderr();
    EXPECT_EQ(discover_interface("abcdefghijklmnop", out), RadioError::InvalidParameters);
    EXPECT_EQ(discover_interface("abcdefghijklmnopqrstuvwxyz", out), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Interface name would truncate: abcdefghijklmnop\n"
              "Interface name would truncate: abcdefghijklmnopqrstuvwxyz\n");
    EXPECT_STREQ(out.name, "keep");
    EXPECT_EQ(out.ifindex, 77);
    EXPECT_EQ(out.phy, 3u);
}
