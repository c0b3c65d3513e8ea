// SPDX-License-Identifier: MIT
// Links around active sweeps, on real interfaces in a private network
// namespace. The monitor is a veth, so the first tuning always fails
// (there is no phy behind it); that is the road on which the links must be
// put back.
#include "radio/sweep.h"
#include "veth_pair.h"

#include <gtest/gtest.h>
#include <net/if.h>

using namespace radiotest;

namespace
{

class SweepLinks : public testing::Test
{
  protected:
    void SetUp() override
    {
        std::string why;
        for (const char *name : {"ap0", "ap1", "mon0"})
            if (!make_veth_pair(name, std::string(name) + "p", &why))
                GTEST_SKIP() << "SKIPPED: no veth pair in a private network namespace: " << why;
        rc = std::make_unique<RadioControl>();
        rc->monitor = interface_info("mon0");
        rc->band = Band::Band2GHz;
        rc->dwell_ms = 1000;
    }
    void TearDown() override
    {
        for (const char *name : {"ap0", "ap1", "mon0"})
            delete_veth_pair(name);
    }
    void add_primary(const InterfaceInfo &info) { rc->primaries[rc->primary_count++] = info; }
    static bool up(const char *name) { return interface_flags(name) & IFF_UP; }
    static SweepRequest active() { return {SweepType::Active, 2400, 2500, 0, 0, 0, 1000}; }

    std::unique_ptr<RadioControl> rc;
};

} // namespace

TEST_F(SweepLinks, FailedTuningBringsBackOnlyThePrimariesThatWereUp)
{
    ASSERT_TRUE(change_interface_flags("ap0", IFF_UP | IFF_PROMISC, true));
    add_primary(interface_info("ap0"));
    add_primary(interface_info("ap1"));
    testing::internal::CaptureStderr();
    RadioError result = start_sweep(*rc, active());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(result == RadioError::NetlinkInitFailed || result == RadioError::ChannelSetFailed)
        << radio_error_message(result) << "\n"
        << err;
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
    EXPECT_EQ(rc->primary_was_up[0], 1);
    EXPECT_EQ(rc->primary_was_up[1], 0);
    EXPECT_TRUE(up("ap0"));
    EXPECT_TRUE(interface_flags("ap0") & IFF_PROMISC);
    EXPECT_FALSE(up("ap1"));
    EXPECT_FALSE(up("mon0")) << "the monitor goes down again with primaries";
    // Each primary went down before the monitor came up.
    size_t ap0_down = err.find("Setting interface ap0 (idx=");
    size_t mon_up = err.find("Setting interface mon0 (idx=");
    ASSERT_NE(ap0_down, std::string::npos) << err;
    ASSERT_NE(mon_up, std::string::npos) << err;
    EXPECT_LT(ap0_down, mon_up);
    EXPECT_NE(err.find("Interface ap0 (idx=" + std::to_string(rc->primaries[0].ifindex) +
                       ") state: UP\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Interface ap1 (idx=" + std::to_string(rc->primaries[1].ifindex) +
                       ") state: DOWN\n"),
              std::string::npos)
        << err;
}

TEST_F(SweepLinks, WithoutPrimariesTheMonitorStaysUp)
{
    RadioError result = start_sweep(*rc, active());
    EXPECT_NE(result, RadioError::Success);
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
    EXPECT_TRUE(up("mon0"));
}

TEST_F(SweepLinks, StartFailingPartWayThroughThePrimariesRestoresTheOnesTakenDown)
{
    ASSERT_TRUE(change_interface_flags("ap0", IFF_UP, true));
    ASSERT_TRUE(change_interface_flags("ap1", IFF_UP, true));
    add_primary(interface_info("ap0"));
    add_primary(interface_info("ap1"));
    add_primary(InterfaceInfo{"gone0", 999999, 0}); // vanished since discovery
    testing::internal::CaptureStderr();
    EXPECT_EQ(start_sweep(*rc, active()), RadioError::LinkQueryFailed);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to query primary interface state\n"), std::string::npos) << err;
    EXPECT_TRUE(up("ap0")) << "the access point must not stay off the air\n" << err;
    EXPECT_TRUE(up("ap1")) << err;
    EXPECT_FALSE(up("mon0")) << "the monitor was never touched";
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);

    // Brought up in order, after both were taken down.
    size_t ap1_down = err.find(
        "Setting interface ap1 (idx=" + std::to_string(rc->primaries[1].ifindex) + ") DOWN\n");
    size_t ap0_up = err.find(
        "Setting interface ap0 (idx=" + std::to_string(rc->primaries[0].ifindex) + ") UP\n");
    size_t ap1_up = err.find(
        "Setting interface ap1 (idx=" + std::to_string(rc->primaries[1].ifindex) + ") UP\n");
    ASSERT_NE(ap1_down, std::string::npos) << err;
    ASSERT_NE(ap0_up, std::string::npos) << err;
    ASSERT_NE(ap1_up, std::string::npos) << err;
    EXPECT_LT(ap1_down, ap0_up);
    EXPECT_LT(ap0_up, ap1_up);
}

TEST_F(SweepLinks, PrimaryThatWasDownStaysDownAfterAPartWayFailure)
{
    add_primary(interface_info("ap0")); // down
    add_primary(InterfaceInfo{"never0", -1, 0});
    rc->primary_was_up[0] = 1; // left from an earlier sweep
    EXPECT_EQ(start_sweep(*rc, active()), RadioError::MonitorNotFound);
    EXPECT_EQ(rc->primary_was_up[0], 0);
    EXPECT_FALSE(up("ap0"));
}

TEST_F(SweepLinks, CancellingAnActiveSweepRestoresByTheMarks)
{
    add_primary(interface_info("ap0"));
    add_primary(interface_info("ap1"));
    ASSERT_TRUE(change_interface_flags("mon0", IFF_UP, true));
    // As a started sweep leaves things: primaries down, monitor up.
    rc->sweep_type = SweepType::Active;
    rc->primary_was_up[0] = 1;
    rc->primary_was_up[1] = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(cancel_sweep(*rc), RadioError::Success);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(up("ap0"));
    EXPECT_FALSE(up("ap1"));
    EXPECT_FALSE(up("mon0"));
    EXPECT_EQ(rc->sweep_type, SweepType::Idle);
    size_t ap0_up = err.find("Setting interface ap0");
    size_t mon_down = err.find("Setting interface mon0");
    ASSERT_NE(ap0_up, std::string::npos) << err;
    ASSERT_NE(mon_down, std::string::npos) << err;
    EXPECT_LT(ap0_up, mon_down);
    EXPECT_EQ(err.find("Setting interface ap1"), std::string::npos) << err;
    EXPECT_NE(err.find("Cancelled sweep for interface mon0\n"), std::string::npos) << err;
}

TEST_F(SweepLinks, CancellingWithoutPrimariesLeavesTheMonitorUp)
{
    ASSERT_TRUE(change_interface_flags("mon0", IFF_UP, true));
    rc->sweep_type = SweepType::Active;
    EXPECT_EQ(cancel_sweep(*rc), RadioError::Success);
    EXPECT_TRUE(up("mon0"));
}
