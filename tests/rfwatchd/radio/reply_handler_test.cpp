// SPDX-License-Identifier: MIT
// The reply handlers are fed replies built here with libnl, shaped as the
// kernel sends them, with attributes present, absent or malformed.
#include "radio/current_channel.h"
#include "radio/discovery.h"
#include "radio/link_state.h"
#include "radio/netlink_socket.h"

#include <cstring>
#include <gtest/gtest.h>
#include <linux/if.h>
#include <linux/nl80211.h>
#include <linux/rtnetlink.h>
#include <netlink/attr.h>
#include <netlink/errno.h>
#include <netlink/genl/genl.h>
#include <netlink/handlers.h>
#include <netlink/msg.h>
#include <optional>

namespace
{

struct Attr {
    int type;
    uint32_t value;
};

// A NEW_INTERFACE reply with the given 32-bit attributes.
NlMessage interface_reply(std::initializer_list<Attr> attrs)
{
    NlMessage msg = make_message();
    EXPECT_NE(genlmsg_put(msg.get(), 0, 0, 0x1c, 0, 0, NL80211_CMD_NEW_INTERFACE, 1), nullptr);
    for (const Attr &a : attrs)
        EXPECT_EQ(nla_put_u32(msg.get(), a.type, a.value), 0);
    return msg;
}

// A reply whose payload ends before a generic-netlink header (netlink
// rounds payloads up to 4 bytes, the size of that header, so it is empty).
NlMessage truncated_reply()
{
    NlMessage msg = make_message();
    EXPECT_NE(nlmsg_put(msg.get(), 0, 0, 0x1c, 0, 0), nullptr);
    return msg;
}

// A reply whose attribute of the given type holds two bytes, not four.
NlMessage short_attribute_reply(int type)
{
    NlMessage msg = interface_reply({{NL80211_ATTR_IFINDEX, 3}});
    uint16_t half = 1;
    EXPECT_EQ(nla_put(msg.get(), type, sizeof half, &half), 0);
    return msg;
}

InterfaceReply fresh_interface_reply()
{
    return {UINT32_MAX, false, false, "mon0"};
}

CurrentChannel fresh_channel()
{
    return {0, 0, false, "mon0"};
}

} // namespace

TEST(InterfaceReplyHandler, MonitorReplyGivesPhyAndType)
{
    NlMessage msg = interface_reply({{NL80211_ATTR_IFINDEX, 5},
                                     {NL80211_ATTR_WIPHY, 2},
                                     {NL80211_ATTR_IFTYPE, NL80211_IFTYPE_MONITOR}});
    InterfaceReply r = fresh_interface_reply();
    testing::internal::CaptureStderr();
    EXPECT_EQ(interface_reply_handler(msg.get(), &r), NL_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nl80211: Interface mon0 belongs to phy2\n"
              "nl80211: Interface mon0 confirmed as monitor mode\n");
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.phy, 2u);
    EXPECT_TRUE(r.is_monitor);
}

TEST(InterfaceReplyHandler, OtherTypesOnlyWarnAndAbsentTypeIsSilent)
{
    NlMessage managed =
        interface_reply({{NL80211_ATTR_WIPHY, 0}, {NL80211_ATTR_IFTYPE, NL80211_IFTYPE_STATION}});
    InterfaceReply r = fresh_interface_reply();
    testing::internal::CaptureStderr();
    EXPECT_EQ(interface_reply_handler(managed.get(), &r), NL_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nl80211: Interface mon0 belongs to phy0\n"
              "nl80211: Warning - Interface mon0 is not in monitor mode (type: 2)\n");
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.phy, 0u);
    EXPECT_FALSE(r.is_monitor);

    NlMessage untyped = interface_reply({{NL80211_ATTR_WIPHY, 1}});
    r = fresh_interface_reply();
    testing::internal::CaptureStderr();
    EXPECT_EQ(interface_reply_handler(untyped.get(), &r), NL_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "nl80211: Interface mon0 belongs to phy1\n");
    EXPECT_TRUE(r.found);
    EXPECT_FALSE(r.is_monitor);
}

TEST(InterfaceReplyHandler, ReplyWithoutWiphyIsSkipped)
{
    NlMessage msg =
        interface_reply({{NL80211_ATTR_IFINDEX, 5}, {NL80211_ATTR_IFTYPE, NL80211_IFTYPE_MONITOR}});
    InterfaceReply r = fresh_interface_reply();
    testing::internal::CaptureStderr();
    EXPECT_EQ(interface_reply_handler(msg.get(), &r), NL_SKIP);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nl80211: No wiphy attribute found for interface mon0\n");
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.phy, UINT32_MAX);
    EXPECT_FALSE(r.is_monitor);
}

TEST(InterfaceReplyHandler, UnparsableRepliesAreSkipped)
{
    NlMessage truncated = truncated_reply();
    NlMessage short_wiphy = short_attribute_reply(NL80211_ATTR_WIPHY);
    for (nl_msg *msg : {truncated.get(), short_wiphy.get()}) {
        InterfaceReply r = fresh_interface_reply();
        testing::internal::CaptureStderr();
        EXPECT_EQ(interface_reply_handler(msg, &r), NL_SKIP);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Failed to parse netlink attributes for interface mon0\n");
        EXPECT_FALSE(r.found);
        EXPECT_EQ(r.phy, UINT32_MAX);
    }
}

TEST(ChannelWidth, MapsEveryKernelCode)
{
    const uint32_t expected[] = {20, 20, 40, 80, 160, 160, 20, 20, 20, 20};
    for (uint32_t code = 0; code < std::size(expected); code++)
        EXPECT_EQ(width_mhz_of_nl80211(code), expected[code]) << "code " << code;
    EXPECT_EQ(width_mhz_of_nl80211(UINT32_MAX), 20u);
}

struct ChannelCase {
    const char *what;
    std::optional<uint32_t> chan_width; // kernel code
    std::optional<uint32_t> control;
    std::optional<uint32_t> centre;
    uint32_t width, frequency;
    bool found;
};

class ChannelReplyHandler : public testing::TestWithParam<ChannelCase>
{
};

TEST_P(ChannelReplyHandler, WidthAndFrequency)
{
    const ChannelCase &c = GetParam();
    NlMessage msg = interface_reply({{NL80211_ATTR_IFINDEX, 4}, {NL80211_ATTR_WIPHY, 0}});
    if (c.chan_width) {
        ASSERT_EQ(nla_put_u32(msg.get(), NL80211_ATTR_CHANNEL_WIDTH, *c.chan_width), 0);
    }
    if (c.control) {
        ASSERT_EQ(nla_put_u32(msg.get(), NL80211_ATTR_WIPHY_FREQ, *c.control), 0);
    }
    if (c.centre) {
        ASSERT_EQ(nla_put_u32(msg.get(), NL80211_ATTR_CENTER_FREQ1, *c.centre), 0);
    }
    CurrentChannel out = fresh_channel();
    EXPECT_EQ(channel_reply_handler(msg.get(), &out), NL_OK);
    EXPECT_EQ(out.width, c.width);
    EXPECT_EQ(out.frequency, c.frequency);
    EXPECT_EQ(out.frequency_found, c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ChannelReplyHandler,
    testing::Values(
        ChannelCase{"ht20 uses control", NL80211_CHAN_WIDTH_20, 2437, 2437, 20, 2437, true},
        ChannelCase{"ht40 uses control, not centre", NL80211_CHAN_WIDTH_40, 5180, 5190, 40, 5180,
                    true},
        ChannelCase{"vht80 uses centre", NL80211_CHAN_WIDTH_80, 5180, 5210, 80, 5210, true},
        ChannelCase{"160 uses centre", NL80211_CHAN_WIDTH_160, 5180, 5250, 160, 5250, true},
        ChannelCase{"80+80 counts as 160", NL80211_CHAN_WIDTH_80P80, 5180, 5210, 160, 5210, true},
        ChannelCase{"5 MHz counts as 20", NL80211_CHAN_WIDTH_5, 2412, std::nullopt, 20, 2412, true},
        ChannelCase{"10 MHz counts as 20", NL80211_CHAN_WIDTH_10, 2412, std::nullopt, 20, 2412,
                    true},
        ChannelCase{"no width means 80 and the centre", std::nullopt, 5180, 5210, 80, 5210, true},
        ChannelCase{"80 without centre falls back to control", NL80211_CHAN_WIDTH_80, 5180,
                    std::nullopt, 80, 5180, true},
        ChannelCase{"no frequency at all", NL80211_CHAN_WIDTH_20, std::nullopt, std::nullopt, 20, 0,
                    false}),
    [](const testing::TestParamInfo<ChannelCase> &info) {
        return "case" + std::to_string(info.index);
    });

TEST(ChannelReplyHandlerLog, LinesSayWhichFrequencyWasTaken)
{
    NlMessage msg =
        interface_reply({{NL80211_ATTR_WIPHY_FREQ, 5180}, {NL80211_ATTR_CENTER_FREQ1, 5210}});
    CurrentChannel out = fresh_channel();
    testing::internal::CaptureStderr();
    channel_reply_handler(msg.get(), &out);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nl80211: Config handler called for interface mon0\n"
              "nl80211: No channel width found for interface mon0, defaulting to 80 MHz\n"
              "nl80211: Interface mon0 center frequency: 5210 MHz (80 MHz width)\n");

    NlMessage bare = interface_reply({{NL80211_ATTR_CHANNEL_WIDTH, NL80211_CHAN_WIDTH_40}});
    out = fresh_channel();
    testing::internal::CaptureStderr();
    channel_reply_handler(bare.get(), &out);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nl80211: Config handler called for interface mon0\n"
              "nl80211: Interface mon0 current channel width: 40 MHz\n"
              "nl80211: No frequency attribute found for interface mon0\n");
}

TEST(ChannelReplyHandlerLog, UnparsableRepliesLeaveTheOutputAlone)
{
    NlMessage truncated = truncated_reply();
    NlMessage short_width = short_attribute_reply(NL80211_ATTR_CHANNEL_WIDTH);
    NlMessage short_freq = short_attribute_reply(NL80211_ATTR_WIPHY_FREQ);
    for (nl_msg *msg : {truncated.get(), short_width.get(), short_freq.get()}) {
        CurrentChannel out = fresh_channel();
        testing::internal::CaptureStderr();
        EXPECT_EQ(channel_reply_handler(msg, &out), NL_SKIP);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "nl80211: Config handler called for interface mon0\n"
                  "Failed to parse netlink attributes for interface config mon0\n");
        EXPECT_EQ(out.width, 0u);
        EXPECT_EQ(out.frequency, 0u);
        EXPECT_FALSE(out.frequency_found);
    }
}

namespace
{

NlMessage link_reply(uint32_t flags)
{
    NlMessage msg = make_message();
    nlmsghdr *nlh = nlmsg_put(msg.get(), 0, 0, RTM_NEWLINK, sizeof(ifinfomsg), 0);
    EXPECT_NE(nlh, nullptr);
    ifinfomsg ifi{};
    ifi.ifi_index = 9;
    ifi.ifi_flags = flags;
    std::memcpy(nlmsg_data(nlh), &ifi, sizeof ifi);
    uint32_t mtu = 1500; // the kernel always appends attributes
    EXPECT_EQ(nla_put(msg.get(), IFLA_MTU, sizeof mtu, &mtu), 0);
    return msg;
}

} // namespace

TEST(LinkReplyHandler, MarkIsTheUpFlagAlone)
{
    NlMessage up = link_reply(IFF_UP | IFF_BROADCAST | IFF_PROMISC | IFF_RUNNING);
    uint8_t mark = 0;
    EXPECT_EQ(link_reply_handler(up.get(), &mark), NL_OK);
    EXPECT_EQ(mark, 1);

    // Running and promiscuous but administratively down.
    NlMessage down = link_reply(IFF_BROADCAST | IFF_PROMISC | IFF_LOWER_UP);
    mark = 0xff;
    EXPECT_EQ(link_reply_handler(down.get(), &mark), NL_OK);
    EXPECT_EQ(mark, 0);
}

TEST(LinkReplyHandler, ReplyTooShortForItsHeaderLeavesTheMark)
{
    NlMessage msg = make_message();
    ASSERT_NE(nlmsg_put(msg.get(), 0, 0, RTM_NEWLINK, 4, 0), nullptr);
    std::memset(nlmsg_data(nlmsg_hdr(msg.get())), 0xff, 4);
    uint8_t mark = 0;
    EXPECT_EQ(link_reply_handler(msg.get(), &mark), NL_OK);
    EXPECT_EQ(mark, 0);
}

// The query succeeds only with a width the handler stored: a reply that
// failed, never came or was not understood leaves the bins unsized.
TEST(ChannelQueryResult, SucceedsOnlyWithAWidth)
{
    const struct {
        NlRun run;
        uint32_t width;
        RadioError result;
    } cases[] = {
        {{RadioError::Success, NlStage::Done, 0}, 40, RadioError::Success},
        {{RadioError::Success, NlStage::Done, 0}, 0, RadioError::NetlinkInitFailed},
        {{RadioError::NetlinkInitFailed, NlStage::Receive, -NLE_AGAIN},
         0,
         RadioError::NetlinkInitFailed},
        {{RadioError::NetlinkInitFailed, NlStage::Receive, -NLE_NODEV},
         80,
         RadioError::NetlinkInitFailed},
        {{RadioError::NetlinkInitFailed, NlStage::Setup, 0}, 0, RadioError::NetlinkInitFailed},
    };
    for (const auto &c : cases) {
        CurrentChannel out{0, c.width, false, "mon0"};
        EXPECT_EQ(channel_query_result(c.run, out), c.result) << c.width << " " << c.run.error;
    }
}
