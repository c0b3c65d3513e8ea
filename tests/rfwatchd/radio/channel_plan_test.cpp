// SPDX-License-Identifier: MIT
#include "radio/channel_plan.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace
{

std::unique_ptr<RadioControl> control_on(Band band)
{
    auto rc = std::make_unique<RadioControl>();
    rc->band = band;
    return rc;
}

std::vector<uint32_t> planned(const RadioControl &rc)
{
    return {rc.channel_freq, rc.channel_freq + rc.channel_count};
}

} // namespace

TEST(BandOfFrequency, EdgesAndTheOverlap)
{
    EXPECT_EQ(band_of_frequency(2401), Band::BandUnknown);
    EXPECT_EQ(band_of_frequency(2402), Band::Band2GHz);
    EXPECT_EQ(band_of_frequency(2755), Band::Band2GHz);
    EXPECT_EQ(band_of_frequency(2756), Band::BandUnknown);
    EXPECT_EQ(band_of_frequency(4899), Band::BandUnknown);
    EXPECT_EQ(band_of_frequency(4900), Band::Band5GHz);
    // 5925-6630 lies in both 5 and 6 GHz rows; the first row wins.
    EXPECT_EQ(band_of_frequency(5925), Band::Band5GHz);
    EXPECT_EQ(band_of_frequency(6000), Band::Band5GHz);
    EXPECT_EQ(band_of_frequency(6630), Band::Band5GHz);
    EXPECT_EQ(band_of_frequency(6631), Band::Band6GHz);
    EXPECT_EQ(band_of_frequency(7000), Band::Band6GHz);
    EXPECT_EQ(band_of_frequency(7125), Band::Band6GHz);
    EXPECT_EQ(band_of_frequency(7126), Band::BandUnknown);
    EXPECT_EQ(band_of_frequency(0), Band::BandUnknown);
}

TEST(BandRange, WholeBandRangesAreTheTableRows)
{
    ASSERT_NE(band_range(Band::Band6GHz), nullptr);
    EXPECT_EQ(band_range(Band::Band6GHz)->lowest_mhz, 5925u);
    EXPECT_EQ(band_range(Band::Band6GHz)->highest_mhz, 7125u);
    EXPECT_EQ(band_range(Band::Band2GHz)->highest_mhz, 2755u);
    EXPECT_EQ(band_range(Band::BandUnknown), nullptr);
    EXPECT_EQ(band_range(static_cast<Band>(4)), nullptr);
}

TEST(PlanChannels, TwoGigahertzRanges)
{
    auto rc = control_on(Band::Band2GHz);
    testing::internal::CaptureStderr();
    ASSERT_EQ(plan_channels(*rc, 2400, 2500), RadioError::Success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Selected 4 valid WiFi channels in range 2400-2500 MHz for band 1\n");
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{2412, 2432, 2452, 2462}));
    for (uint32_t i = 0; i < rc->channel_count; i++)
        EXPECT_EQ(rc->channel_width[i], 20u);

    ASSERT_EQ(plan_channels(*rc, 2430, 2440), RadioError::Success);
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{2432}));

    // 2462 + 10 = 2472 is the top of the last candidate; just past it is
    // nothing. The count is reset even when nothing is found.
    testing::internal::CaptureStderr();
    EXPECT_EQ(plan_channels(*rc, 2473, 2500), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No valid WiFi channels found in range 2473-2500 MHz for band 1\n");
    EXPECT_EQ(rc->channel_count, 0u);
    ASSERT_EQ(plan_channels(*rc, 2472, 2500), RadioError::Success);
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{2462}));
}

TEST(PlanChannels, FiveGigahertzBlocksTouchedAtTheEdge)
{
    auto rc = control_on(Band::Band5GHz);
    ASSERT_EQ(plan_channels(*rc, 5170, 5330), RadioError::Success);
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{5210, 5290}));
    EXPECT_EQ(rc->channel_width[0], 80u);
    EXPECT_EQ(rc->channel_width[1], 80u);

    // from = 5210 + 40 and to = 5290 - 40 both still overlap their blocks.
    ASSERT_EQ(plan_channels(*rc, 5250, 5251), RadioError::Success);
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{5210, 5290}));
    ASSERT_EQ(plan_channels(*rc, 5251, 5252), RadioError::Success);
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{5290}));

    ASSERT_EQ(plan_channels(*rc, 4900, 6630), RadioError::Success);
    EXPECT_EQ(planned(*rc), (std::vector<uint32_t>{5210, 5290, 5530, 5610, 5690, 5775, 5855}));
}

TEST(PlanChannels, CandidatesComeFromTheDetectedBand)
{
    auto rc = control_on(Band::Band2GHz);
    EXPECT_EQ(plan_channels(*rc, 5170, 5330), RadioError::InvalidParameters);

    auto six = control_on(Band::Band6GHz);
    testing::internal::CaptureStderr();
    EXPECT_EQ(plan_channels(*six, 5925, 7125), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No valid WiFi channels found in range 5925-7125 MHz for band 3\n");
}

TEST(PlanChannels, RefusalsBeforePlanning)
{
    auto rc = control_on(Band::Band2GHz);
    rc->channel_count = 3;
    testing::internal::CaptureStderr();
    EXPECT_EQ(plan_channels(*rc, 2440, 2440), RadioError::InvalidParameters);
    EXPECT_EQ(plan_channels(*rc, 2450, 2440), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(rc->channel_count, 3u);

    auto unknown = control_on(Band::BandUnknown);
    testing::internal::CaptureStderr();
    EXPECT_EQ(plan_channels(*unknown, 2400, 2500), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot calculate channels: interface band not detected yet\n");
}
