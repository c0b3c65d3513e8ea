// SPDX-License-Identifier: MIT
// The up flag of real interfaces, through the kernel's rtnetlink, in a
// private network namespace.
#include "radio/link_state.h"
#include "veth_pair.h"

#include <gtest/gtest.h>
#include <net/if.h>

using namespace radiotest;

namespace
{

class LinkState : public testing::Test
{
  protected:
    void SetUp() override
    {
        std::string why;
        if (!make_veth_pair("rt0", "rt0peer", &why))
            GTEST_SKIP() << "SKIPPED: no veth pair in a private network namespace: " << why;
        iface = interface_info("rt0");
        ASSERT_GT(iface.ifindex, 0);
    }
    // Each test starts from a fresh pair.
    void TearDown() override { delete_veth_pair("rt0"); }
    InterfaceInfo iface{};
};

} // namespace

TEST_F(LinkState, QueryFollowsTheKernel)
{
    uint8_t mark = 0xff;
    ASSERT_EQ(query_link_up(iface, mark), RadioError::Success);
    EXPECT_EQ(mark, 0);
    ASSERT_TRUE(change_interface_flags("rt0", IFF_UP, true));
    ASSERT_EQ(query_link_up(iface, mark), RadioError::Success);
    EXPECT_EQ(mark, 1);
}

TEST_F(LinkState, SetChangesOnlyTheUpFlag)
{
    ASSERT_TRUE(change_interface_flags("rt0", IFF_PROMISC | IFF_ALLMULTI, true));
    long before = interface_flags("rt0");
    ASSERT_GE(before, 0);
    ASSERT_FALSE(before & IFF_UP);

    ASSERT_EQ(set_link_up(iface, true), RadioError::Success);
    long up = interface_flags("rt0");
    EXPECT_TRUE(up & IFF_UP);
    EXPECT_TRUE(up & IFF_PROMISC) << "promiscuous mode lost";
    EXPECT_TRUE(up & IFF_ALLMULTI);
    uint8_t mark = 0;
    ASSERT_EQ(query_link_up(iface, mark), RadioError::Success);
    EXPECT_EQ(mark, 1);

    ASSERT_EQ(set_link_up(iface, false), RadioError::Success);
    long down = interface_flags("rt0");
    EXPECT_FALSE(down & IFF_UP);
    EXPECT_TRUE(down & IFF_PROMISC) << "promiscuous mode lost";
    EXPECT_TRUE(down & IFF_ALLMULTI);
    // Operational flags aside, nothing else moved.
    const long admin = IFF_UP | IFF_PROMISC | IFF_ALLMULTI | IFF_BROADCAST | IFF_MULTICAST;
    EXPECT_EQ(down & admin, before & admin);
}

TEST_F(LinkState, TakingDownADownInterfaceStillSucceeds)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(set_link_up(iface, false), RadioError::Success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Setting interface rt0 (idx=" + std::to_string(iface.ifindex) + ") DOWN\n");
    EXPECT_FALSE(interface_flags("rt0") & IFF_UP);
}

TEST_F(LinkState, NegativeIfindexIsRefusedWithoutTraffic)
{
    InterfaceInfo never{"rt0", -1, 0};
    uint8_t mark = 0x5a;
    testing::internal::CaptureStderr();
    EXPECT_EQ(query_link_up(never, mark), RadioError::MonitorNotFound);
    EXPECT_EQ(set_link_up(never, true), RadioError::MonitorNotFound);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(mark, 0x5a);
    EXPECT_FALSE(interface_flags("rt0") & IFF_UP);
}

TEST_F(LinkState, VanishedInterfaceFailsAtTheKernel)
{
    InterfaceInfo gone{"gone0", 999999, 0};
    uint8_t mark = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(query_link_up(gone, mark), RadioError::LinkQueryFailed);
    EXPECT_EQ(set_link_up(gone, true), RadioError::LinkSetFailed);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Failed to receive GETLINK response for gone0: "), std::string::npos) << err;
    EXPECT_NE(err.find("Failed to set interface gone0 UP: "), std::string::npos) << err;
}
