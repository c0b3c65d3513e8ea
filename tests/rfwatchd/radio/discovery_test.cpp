// SPDX-License-Identifier: MIT
// Discovery and the channel query against the real kernel, on interfaces
// that are not wireless: they exercise the name checks, the index lookup
// and the failure roads. Wireless interfaces are covered in the emulated
// access point.
#include "radio/current_channel.h"
#include "radio/discovery.h"
#include "radio/netlink_socket.h"
#include "veth_pair.h"

#include <gtest/gtest.h>

using namespace radiotest;

namespace
{

// Whether this kernel offers nl80211 at all (the build host usually does not).
bool have_nl80211()
{
    NlSocket sock;
    int family = 0;
    testing::internal::CaptureStderr();
    bool ok = open_nl80211_socket(sock, family) == RadioError::Success;
    testing::internal::GetCapturedStderr();
    return ok;
}

constexpr const char *LONGEST = "abcdefghijklmno"; // 15 characters, the kernel's limit

class Discovery : public testing::Test
{
  protected:
    void SetUp() override
    {
        std::string why;
        if (!make_veth_pair(LONGEST, "dpeer0", &why))
            GTEST_SKIP() << "SKIPPED: no veth pair in a private network namespace: " << why;
    }
    void TearDown() override { delete_veth_pair(LONGEST); }
};

} // namespace

TEST_F(Discovery, FifteenCharacterNameIsAcceptedAndLookedUp)
{
    InterfaceInfo out{"", -5, 42};
    testing::internal::CaptureStderr();
    RadioError rc = discover_interface(LONGEST, out);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("would truncate"), std::string::npos) << err;
    EXPECT_STREQ(out.name, LONGEST);
    EXPECT_EQ(out.ifindex, interface_info(LONGEST).ifindex);
    EXPECT_GT(out.ifindex, 0);
    EXPECT_EQ(out.phy, 42u) << "phy is written only on success";
    // A veth has no phy: either nl80211 is missing here, or it refuses the
    // interface.
    EXPECT_EQ(rc, RadioError::NetlinkInitFailed) << err;
    if (have_nl80211())
        EXPECT_NE(err.find("Failed to receive interface query response for abcdefghijklmno: "),
                  std::string::npos)
            << err;
    else
        EXPECT_NE(err.find("Failed to resolve nl80211 family on dedicated socket: "),
                  std::string::npos)
            << err;
}

TEST_F(Discovery, UnknownNameFailsBeforeAnyNetlink)
{
    InterfaceInfo out{"keep", 3, 1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(discover_interface("nosuch0", out), RadioError::MonitorNotFound);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Interface 'nosuch0' does not exist\n");
    EXPECT_STREQ(out.name, "keep");
    EXPECT_EQ(out.ifindex, 3);
}

TEST_F(Discovery, ChannelQueryThatTheKernelRefusesFails)
{
    auto rc = std::make_unique<RadioControl>();
    rc->monitor = interface_info(LONGEST);
    CurrentChannel out{123, 456, true, nullptr};
    testing::internal::CaptureStderr();
    RadioError result = query_current_channel(*rc, out);
    std::string err = testing::internal::GetCapturedStderr();
    if (!have_nl80211()) {
        EXPECT_EQ(result, RadioError::NetlinkInitFailed) << err;
        return;
    }
    // The kernel's refusal is a receive failure: no width is known.
    EXPECT_EQ(result, RadioError::NetlinkInitFailed) << err;
    EXPECT_NE(err.find("Netlink error querying abcdefghijklmno config: "), std::string::npos)
        << err;
    EXPECT_EQ(out.width, 0u);
    EXPECT_EQ(out.frequency, 0u);
    EXPECT_FALSE(out.frequency_found);
}

TEST(ChannelQuery, MonitorNeverSetUpIsRefused)
{
    auto rc = std::make_unique<RadioControl>();
    rc->monitor.ifindex = -1;
    CurrentChannel out{};
    testing::internal::CaptureStderr();
    EXPECT_EQ(query_current_channel(*rc, out), RadioError::MonitorNotFound);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Interface check failed\n");
}
