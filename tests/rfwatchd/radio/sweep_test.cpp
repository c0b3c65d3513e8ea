// SPDX-License-Identifier: MIT
// Sweep engine transitions. Agile sweeps run for real: their words go to a
// FIFO standing in for the spectral control file, so every word written is
// seen in order. Active sweeps are driven up to the first netlink request
// only (the monitor or a primary is never set up), which keeps these tests
// free of sockets. Time is moved through the record's time fields.
#include "capture/spectral_config.h"
#include "radio/channel_plan.h"
#include "radio/channel_set.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"
#include "temp_dir.h"
#include "test_clock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

class Sweep : public testing::Test
{
  protected:
    void SetUp() override
    {
        wdtest::test_clock_reset();
        dir = tmp.path();
        ASSERT_FALSE(dir.empty());
        ctl = dir + "/spectral_scan_ctl";
        ASSERT_EQ(mkfifo(ctl.c_str(), 0600), 0) << strerror(errno);
        // Held open so that the control writes never block and all of them
        // can be read back afterwards.
        reader = open(ctl.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0) << strerror(errno);

        spectral = std::make_unique<SpectralConfig>();
        std::snprintf(spectral->ctl_path, sizeof spectral->ctl_path, "%s", ctl.c_str());
        auto found = std::make_unique<DiscoveredInterface>();
        std::strcpy(found->monitor.name, "mon0");
        found->monitor.ifindex = 7; // only the active road would use it
        rc = std::make_unique<RadioControl>();
        init_radio_control(*rc, *found, *spectral);
    }
    void TearDown() override
    {
        if (reader >= 0)
            close(reader);
    }

    // Every control word written since the last call, concatenated.
    std::string words()
    {
        std::string all;
        char buf[4096];
        ssize_t n;
        while ((n = read(reader, buf, sizeof buf)) > 0)
            all.append(buf, static_cast<size_t>(n));
        return all;
    }

    static SweepRequest agile(uint32_t from, uint32_t to, uint32_t step)
    {
        return {SweepType::Agile, from, to, 0, step, 0, 25};
    }

    static SweepRequest active(uint32_t from, uint32_t to)
    {
        return {SweepType::Active, from, to, 0, 0, 0, 1000};
    }

    // Planned channels of an active sweep without touching a link.
    void enter_active_by_hand(uint32_t from, uint32_t to)
    {
        rc->band = Band::Band2GHz;
        rc->monitor.ifindex = -1;
        ASSERT_EQ(start_sweep(*rc, active(from, to)), RadioError::MonitorNotFound);
        rc->sweep_type = SweepType::Active;
    }

    std::vector<uint32_t> channels() const
    {
        return {rc->channel_freq, rc->channel_freq + rc->channel_count};
    }

    wdtest::TempDir tmp{"radio-sweep"};
    std::string dir, ctl;
    int reader = -1;
    std::unique_ptr<SpectralConfig> spectral;
    std::unique_ptr<RadioControl> rc;
};

} // namespace

TEST_F(Sweep, DwellOutsideFiveToSixtyThousandIsRefusedSilently)
{
    for (uint32_t dwell : {0u, 4u, 60001u}) {
        SweepRequest r = agile(2400, 2500, 20);
        r.dwell_ms = dwell;
        testing::internal::CaptureStderr();
        EXPECT_EQ(start_sweep(*rc, r), RadioError::InvalidParameters) << dwell;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << dwell;
        EXPECT_EQ(rc->dwell_ms, 1000u);
    }
    EXPECT_EQ(words(), "");
    for (uint32_t dwell : {5u, 60000u}) {
        SweepRequest r = agile(2400, 2500, 20);
        r.dwell_ms = dwell;
        EXPECT_EQ(start_sweep(*rc, r), RadioError::Success) << dwell;
        EXPECT_EQ(rc->dwell_ms, dwell);
    }
}

TEST_F(Sweep, DurationWhoseMillisecondsDoNotFitIsRefusedBeforeAnythingChanges)
{
    SweepRequest running = agile(2400, 2500, 20);
    running.duration_s = MAX_SWEEP_DURATION_S; // 4294967 s, the longest that fits
    ASSERT_EQ(start_sweep(*rc, running), RadioError::Success);
    EXPECT_EQ(rc->duration_ms, 4294967000u);
    EXPECT_EQ(rc->remaining_ms, 4294967000u);
    words();

    SweepRequest too_long = agile(5000, 5400, 40);
    too_long.duration_s = MAX_SWEEP_DURATION_S + 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, too_long), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(words(), "") << "the running sweep must not be cancelled";
    EXPECT_EQ(rc->sweep_type, SweepType::Agile);
    EXPECT_EQ(rc->channel_freq[0], 2410u);
    EXPECT_EQ(rc->duration_ms, 4294967000u);
}

TEST_F(Sweep, WholeBandAgileSweepSlicesTheDetectedBand)
{
    rc->band = Band::Band2GHz;
    SweepRequest r = agile(0, 0, 20);
    r.whole_band = 1;
    testing::internal::CaptureStderr();
    ASSERT_EQ(start_sweep(*rc, r), RadioError::Success);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Starting agile sweep for range 0 - 0.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Started sweep with known phy: 2402-2755 MHz, 17 channels, 25 ms dwell, "
                       "infinite duration\n"),
              std::string::npos)
        << err;
    ASSERT_EQ(rc->channel_count, 17u);
    for (uint32_t i = 0; i < 17; i++) {
        EXPECT_EQ(rc->channel_freq[i], 2412 + 20 * i);
        EXPECT_EQ(rc->channel_width[i], 20u);
    }
    EXPECT_EQ(rc->channel_index, 0u);
    EXPECT_EQ(rc->sweep_type, SweepType::Agile);
    EXPECT_EQ(words(), "agile 2412trigger");
}

TEST_F(Sweep, WholeBandNeedsAKnownBand)
{
    SweepRequest r = agile(0, 0, 20);
    r.whole_band = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, r), RadioError::InvalidParameters);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Band not detected, cannot configure whole band sweep.\n"),
              std::string::npos);
    rc->band = static_cast<Band>(9);
    EXPECT_EQ(start_sweep(*rc, r), RadioError::InvalidParameters);
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
    EXPECT_EQ(words(), "");
}

TEST_F(Sweep, AgileHopsWalkTheSlicesRoundAndRound)
{
    ASSERT_EQ(start_sweep(*rc, agile(2400, 2480, 20)), RadioError::Success);
    EXPECT_EQ(channels(), (std::vector<uint32_t>{2410, 2430, 2450, 2470}));
    EXPECT_EQ(words(), "agile 2410trigger");
    for (int hop = 0; hop < 5; hop++) {
        rc->last_hop_ms = 0;
        wdtest::test_clock_advance(25);
        ASSERT_EQ(advance_sweep(*rc), RadioError::Success);
        EXPECT_EQ(rc->last_hop_ms, wdtest::test_clock_now());
    }
    EXPECT_EQ(rc->channel_index, 1u);
    EXPECT_EQ(words(), "agile 2430triggeragile 2450triggeragile 2470triggeragile 2410trigger"
                       "agile 2430trigger");
}

TEST_F(Sweep, ActiveHopsFollowThePlanAndAFailedHopStaysDue)
{
    enter_active_by_hand(2400, 2500);
    EXPECT_EQ(channels(), (std::vector<uint32_t>{2412, 2432, 2452, 2462}));
    rc->last_hop_ms = wdtest::test_clock_now();
    wdtest::test_clock_advance(5000);
    uint64_t last = rc->last_hop_ms;
    std::vector<uint32_t> tried;
    for (int hop = 0; hop < 4; hop++) {
        // Without a set-up monitor every tuning fails before any netlink.
        EXPECT_EQ(advance_sweep(*rc), RadioError::MonitorNotFound);
        tried.push_back(rc->channel_freq[rc->channel_index]);
        EXPECT_EQ(rc->last_hop_ms, last);
        EXPECT_TRUE(hop_due(*rc));
    }
    EXPECT_EQ(tried, (std::vector<uint32_t>{2432, 2452, 2462, 2412}));
}

TEST_F(Sweep, AdvanceNeedsARunningSweepWithChannels)
{
    EXPECT_EQ(advance_sweep(*rc), RadioError::InvalidParameters);
    rc->sweep_type = SweepType::Agile;
    rc->channel_count = 0;
    EXPECT_EQ(advance_sweep(*rc), RadioError::InvalidParameters);
    EXPECT_EQ(words(), "");
}

TEST_F(Sweep, ActiveStartWithoutMonitorFailsAfterPlanning)
{
    rc->band = Band::Band2GHz;
    rc->monitor.ifindex = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, active(2400, 2500)), RadioError::MonitorNotFound);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Starting active sweep for range 2400 - 2500.\n"
                   "Selected 4 valid WiFi channels in range 2400-2500 MHz for band 1\n"
                   "Failed to bring up monitor interface\n");
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
}

TEST_F(Sweep, ActiveStartStopsAtAPrimaryThatCannotBeQueried)
{
    rc->band = Band::Band2GHz;
    rc->primary_count = 1;
    std::strcpy(rc->primaries[0].name, "wlan0");
    rc->primaries[0].ifindex = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, active(2400, 2500)), RadioError::MonitorNotFound);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to query primary interface state\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("Failed to bring up monitor"), std::string::npos) << err;
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
}

TEST_F(Sweep, ActiveRangeOutsideTheBandIsRefusedByThePlan)
{
    rc->band = Band::Band6GHz;
    EXPECT_EQ(start_sweep(*rc, active(5925, 7125)), RadioError::InvalidParameters);
    rc->band = Band::BandUnknown;
    EXPECT_EQ(start_sweep(*rc, active(2400, 2500)), RadioError::InvalidParameters);
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
}

// A request refused for its own range or kind is refused before the
// running sweep is touched: that sweep goes on with its list.
TEST_F(Sweep, ARefusedRequestLeavesTheRunningSweepAlone)
{
    SweepRequest whole = agile(0, 0, 20);
    whole.whole_band = 1;
    SweepRequest unknown = agile(2400, 2500, 20);
    unknown.type = static_cast<SweepType>(3);
    const struct {
        const char *what;
        SweepRequest request;
    } refused[] = {
        {"reversed", agile(2500, 2400, 20)},
        {"equal ends", agile(2450, 2450, 20)},
        {"equal ends, active", active(2450, 2450)},
        {"narrower than a slice", agile(5200, 5300, 160)},
        {"ends below half a step", agile(10, 50, 160)},
        {"whole band, band unknown", whole},
        {"unknown kind", unknown},
    };
    ASSERT_EQ(start_sweep(*rc, agile(2400, 2480, 20)), RadioError::Success);
    std::vector<uint32_t> running = channels();
    words();
    for (const auto &r : refused) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(start_sweep(*rc, r.request), RadioError::InvalidParameters) << r.what;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("Cancelled"), std::string::npos) << r.what << err;
        EXPECT_EQ(rc->sweep_type, SweepType::Agile) << r.what;
        EXPECT_EQ(channels(), running) << r.what;
        EXPECT_EQ(words(), "") << r.what;
    }
}

TEST_F(Sweep, UnknownTypeIsRefused)
{
    SweepRequest r = agile(2400, 2500, 20);
    r.type = static_cast<SweepType>(3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, r), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Starting UNKNOWN sweep for range 2400 - 2500.\n");
    r.type = SweepType::Idle;
    EXPECT_EQ(start_sweep(*rc, r), RadioError::InvalidParameters);
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
    EXPECT_EQ(words(), "");
}

TEST_F(Sweep, CancelWhileIdleDoesNothing)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(cancel_sweep(*rc), RadioError::Success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(words(), "");
}

TEST_F(Sweep, CancelAgileStopsTheScanAndKeepsTheList)
{
    ASSERT_EQ(start_sweep(*rc, agile(2400, 2480, 20)), RadioError::Success);
    words();
    testing::internal::CaptureStderr();
    EXPECT_EQ(cancel_sweep(*rc), RadioError::Success);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Cancelled sweep for interface mon0\n"), std::string::npos) << err;
    EXPECT_EQ(words(), "disable");
    EXPECT_FALSE(sweep_active(*rc));
    EXPECT_EQ(rc->channel_count, 4u);
}

TEST_F(Sweep, FailedAgileTuningIsReportedAsInvalidParameters)
{
    std::snprintf(spectral->ctl_path, sizeof spectral->ctl_path, "%s/missing/spectral_scan_ctl",
                  dir.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, agile(2400, 2480, 20)), RadioError::InvalidParameters);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to set agile channel: "), std::string::npos) << err;
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
}

TEST_F(Sweep, FiniteSweepExpiresFromItsStartWhateverTheDwell)
{
    SweepRequest r = agile(2400, 2480, 20);
    r.duration_s = 30;
    r.dwell_ms = 60000;
    ASSERT_EQ(start_sweep(*rc, r), RadioError::Success);
    EXPECT_EQ(rc->sweep_start_ms, wdtest::test_clock_now());
    EXPECT_EQ(rc->remaining_ms, 30000u);

    wdtest::test_clock_advance(29000);
    rc->last_hop_ms = wdtest::test_clock_now(); // a fresh hop changes nothing
    EXPECT_FALSE(sweep_expired(*rc));
    EXPECT_EQ(rc->remaining_ms, 1000u);
    EXPECT_FALSE(sweep_finished(*rc));

    wdtest::test_clock_advance(999);
    EXPECT_FALSE(sweep_expired(*rc));
    EXPECT_EQ(rc->remaining_ms, 1u);
    wdtest::test_clock_advance(1);
    EXPECT_TRUE(sweep_expired(*rc));
    EXPECT_EQ(rc->remaining_ms, 0u);
    EXPECT_TRUE(sweep_finished(*rc));
    // Once run out it stays so.
    wdtest::test_clock_advance(5000);
    EXPECT_FALSE(sweep_expired(*rc));
    EXPECT_TRUE(sweep_finished(*rc));
}

TEST_F(Sweep, InfiniteSweepNeverExpires)
{
    ASSERT_EQ(start_sweep(*rc, agile(2400, 2480, 20)), RadioError::Success);
    rc->sweep_start_ms = 0;
    EXPECT_FALSE(sweep_expired(*rc));
    EXPECT_EQ(rc->remaining_ms, 0u);
    EXPECT_FALSE(sweep_finished(*rc));
    EXPECT_TRUE(sweep_active(*rc));
    EXPECT_TRUE(sweep_type_is(*rc, SweepType::Agile));
    EXPECT_FALSE(sweep_type_is(*rc, SweepType::Active));
}

TEST_F(Sweep, HopIsDueAfterTheDwell)
{
    SweepRequest r = agile(2400, 2480, 20);
    r.dwell_ms = 1000;
    ASSERT_EQ(start_sweep(*rc, r), RadioError::Success);
    EXPECT_FALSE(hop_due(*rc));
    wdtest::test_clock_advance(999);
    EXPECT_FALSE(hop_due(*rc));
    wdtest::test_clock_advance(1);
    EXPECT_TRUE(hop_due(*rc));
    // The hop restarts the dwell.
    ASSERT_EQ(advance_sweep(*rc), RadioError::Success);
    EXPECT_EQ(rc->last_hop_ms, wdtest::test_clock_now());
    EXPECT_FALSE(hop_due(*rc));
    wdtest::test_clock_advance(1000);
    EXPECT_TRUE(hop_due(*rc));
    rc->channel_count = 0;
    EXPECT_FALSE(hop_due(*rc));
    rc->channel_count = 4;
    ASSERT_EQ(cancel_sweep(*rc), RadioError::Success);
    EXPECT_FALSE(hop_due(*rc));
    rc->sweep_start_ms = 0;
    rc->remaining_ms = 5;
    EXPECT_FALSE(sweep_expired(*rc)) << "an idle control never expires";
    EXPECT_FALSE(sweep_finished(*rc));
}

TEST(SetChannel, RefusalsBeforeAnyTuning)
{
    auto rc = std::make_unique<RadioControl>();
    rc->monitor.ifindex = 3;
    rc->sweep_type = SweepType::Active;
    testing::internal::CaptureStderr();
    EXPECT_EQ(set_channel(*rc, 3000, 20), RadioError::InvalidParameters);
    rc->sweep_type = SweepType::Idle;
    EXPECT_EQ(set_channel(*rc, 2412, 20), RadioError::InvalidParameters);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    rc->monitor.ifindex = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(set_channel(*rc, 2412, 20), RadioError::MonitorNotFound);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Monitor interface not initialized\n");
}
