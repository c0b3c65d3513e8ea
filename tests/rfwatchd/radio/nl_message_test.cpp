// SPDX-License-Identifier: MIT
// Requests are built here and parsed back the way the kernel would read
// them, so a wrong attribute, width code or flag shows without a radio.
#include "radio/channel_set.h"
#include "radio/link_state.h"
#include "radio/netlink_socket.h"
#include "radio/nl80211_message.h"

#include <gtest/gtest.h>
#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <netlink/attr.h>
#include <netlink/genl/genl.h>
#include <netlink/msg.h>

namespace
{

constexpr int FAMILY = 0x1c; // any id: the builders only copy it

struct ParsedRequest {
    nlmsghdr header;
    genlmsghdr genl;
    nlattr *tb[NL80211_ATTR_MAX + 1];
    int attr_count;
};

// Parses msg as the kernel would, counting the attributes so that an extra
// one shows.
ParsedRequest parse_request(nl_msg *msg)
{
    ParsedRequest p{};
    nlmsghdr *nlh = nlmsg_hdr(msg);
    p.header = *nlh;
    EXPECT_TRUE(genlmsg_valid_hdr(nlh, 0));
    p.genl = *static_cast<genlmsghdr *>(nlmsg_data(nlh));
    EXPECT_EQ(genlmsg_parse(nlh, 0, p.tb, NL80211_ATTR_MAX, nullptr), 0);
    nlattr *attr;
    int rem;
    nla_for_each_attr(attr, genlmsg_attrdata(static_cast<genlmsghdr *>(nlmsg_data(nlh)), 0),
                      genlmsg_attrlen(static_cast<genlmsghdr *>(nlmsg_data(nlh)), 0), rem)
    {
        EXPECT_EQ(nla_len(attr), 4) << "attribute " << nla_type(attr) << " is not 32-bit";
        p.attr_count++;
    }
    return p;
}

uint32_t u32(nlattr *attr)
{
    EXPECT_NE(attr, nullptr);
    return attr ? nla_get_u32(attr) : 0xdeadbeef;
}

// The flags nl_send_auto would add before sending.
uint16_t flags_after_completion(nl_msg *msg)
{
    NlSocket sock(nl_socket_alloc());
    EXPECT_TRUE(sock);
    nl_complete_msg(sock.get(), msg);
    return nlmsg_hdr(msg)->nlmsg_flags;
}

} // namespace

TEST(Nl80211Request, GetInterfaceCarriesOnlyTheIfindex)
{
    NlMessage msg = make_message();
    ASSERT_TRUE(put_nl80211_request(msg.get(), FAMILY, NL80211_CMD_GET_INTERFACE, 7));
    ParsedRequest p = parse_request(msg.get());
    EXPECT_EQ(p.header.nlmsg_type, FAMILY);
    EXPECT_EQ(p.header.nlmsg_flags, 0);
    EXPECT_EQ(p.genl.cmd, NL80211_CMD_GET_INTERFACE);
    EXPECT_EQ(p.genl.version, 0);
    EXPECT_EQ(p.attr_count, 1);
    EXPECT_EQ(u32(p.tb[NL80211_ATTR_IFINDEX]), 7u);
    // Sending asks for a reply and an acknowledgement.
    EXPECT_EQ(flags_after_completion(msg.get()), NLM_F_REQUEST | NLM_F_ACK);
}

struct WiphyCase {
    uint32_t frequency, width;
    uint32_t sent_freq;
    int channel_type;     // -1: absent
    int chan_width;       // -1: absent
    uint32_t centre_freq; // 0: absent
};

class SetWiphy : public testing::TestWithParam<WiphyCase>
{
};

TEST_P(SetWiphy, AttributesFollowTheWidth)
{
    const WiphyCase &c = GetParam();
    NlMessage msg = make_message();
    ASSERT_TRUE(build_set_wiphy(msg.get(), FAMILY, 12, c.frequency, c.width));
    ParsedRequest p = parse_request(msg.get());
    EXPECT_EQ(p.header.nlmsg_type, FAMILY);
    EXPECT_EQ(p.genl.cmd, NL80211_CMD_SET_WIPHY);
    EXPECT_EQ(u32(p.tb[NL80211_ATTR_IFINDEX]), 12u);
    EXPECT_EQ(u32(p.tb[NL80211_ATTR_WIPHY_FREQ]), c.sent_freq);
    int expected_count = 2;
    if (c.channel_type >= 0) {
        EXPECT_EQ(u32(p.tb[NL80211_ATTR_WIPHY_CHANNEL_TYPE]), uint32_t(c.channel_type));
        expected_count++;
    } else {
        EXPECT_EQ(p.tb[NL80211_ATTR_WIPHY_CHANNEL_TYPE], nullptr);
    }
    if (c.chan_width >= 0) {
        EXPECT_EQ(u32(p.tb[NL80211_ATTR_CHANNEL_WIDTH]), uint32_t(c.chan_width));
        EXPECT_EQ(u32(p.tb[NL80211_ATTR_CENTER_FREQ1]), c.centre_freq);
        expected_count += 2;
    } else {
        EXPECT_EQ(p.tb[NL80211_ATTR_CHANNEL_WIDTH], nullptr);
        EXPECT_EQ(p.tb[NL80211_ATTR_CENTER_FREQ1], nullptr);
    }
    EXPECT_EQ(p.attr_count, expected_count);
    EXPECT_EQ(flags_after_completion(msg.get()), NLM_F_REQUEST | NLM_F_ACK);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, SetWiphy,
    testing::Values(WiphyCase{2412, 20, 2412, NL80211_CHAN_HT20, -1, 0},
                    WiphyCase{5180, 40, 5180, NL80211_CHAN_HT40PLUS, -1, 0},
                    // The control channel is the lowest 20 MHz one of the block.
                    WiphyCase{5210, 80, 5180, -1, NL80211_CHAN_WIDTH_80, 5210},
                    WiphyCase{5250, 160, 5180, -1, NL80211_CHAN_WIDTH_160, 5250},
                    // Widths outside the table are tuned as HT20.
                    WiphyCase{2437, 10, 2437, NL80211_CHAN_HT20, -1, 0},
                    WiphyCase{2437, 0, 2437, NL80211_CHAN_HT20, -1, 0}));

TEST(SetWiphy, LogLineNamesTheRoadTaken)
{
    NlMessage msg = make_message();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(build_set_wiphy(msg.get(), FAMILY, 1, 2437, 10));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Debug: Setting channel: freq=2437 MHz, type=HT20 (default)\n");
    msg = make_message();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(build_set_wiphy(msg.get(), FAMILY, 1, 5210, 80));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Debug: Setting 80MHz channel: primary=5180 MHz, center=5210 MHz\n");
}

namespace
{

struct LinkRequest {
    nlmsghdr header;
    ifinfomsg ifi;
};

LinkRequest parse_link_request(nl_msg *msg)
{
    nlmsghdr *nlh = nlmsg_hdr(msg);
    LinkRequest r{};
    r.header = *nlh;
    EXPECT_EQ(nlmsg_datalen(nlh), int(sizeof(ifinfomsg))) << "no attributes expected";
    if (nlmsg_valid_hdr(nlh, sizeof(ifinfomsg)))
        r.ifi = *static_cast<ifinfomsg *>(nlmsg_data(nlh));
    return r;
}

} // namespace

TEST(LinkRequest, GetLinkAsksForOneInterface)
{
    NlMessage msg = make_message();
    ASSERT_TRUE(build_link_request(msg.get(), RTM_GETLINK, 42, 0, 0));
    LinkRequest r = parse_link_request(msg.get());
    EXPECT_EQ(r.header.nlmsg_type, RTM_GETLINK);
    EXPECT_EQ(r.header.nlmsg_flags, 0); // no dump: one interface
    EXPECT_EQ(r.ifi.ifi_family, AF_UNSPEC);
    EXPECT_EQ(r.ifi.__ifi_pad, 0);
    EXPECT_EQ(r.ifi.ifi_type, 0);
    EXPECT_EQ(r.ifi.ifi_index, 42);
    EXPECT_EQ(r.ifi.ifi_flags, 0u);
    EXPECT_EQ(r.ifi.ifi_change, 0u);
    EXPECT_EQ(flags_after_completion(msg.get()), NLM_F_REQUEST | NLM_F_ACK);
}

TEST(LinkRequest, NewLinkChangesOnlyTheUpFlag)
{
    for (uint32_t flags : {uint32_t(IFF_UP), 0u}) {
        NlMessage msg = make_message();
        ASSERT_TRUE(build_link_request(msg.get(), RTM_NEWLINK, 3, flags, IFF_UP));
        LinkRequest r = parse_link_request(msg.get());
        EXPECT_EQ(r.header.nlmsg_type, RTM_NEWLINK);
        EXPECT_EQ(r.ifi.ifi_index, 3);
        EXPECT_EQ(r.ifi.ifi_flags, flags);
        EXPECT_EQ(r.ifi.ifi_change, uint32_t(IFF_UP));
        EXPECT_EQ(flags_after_completion(msg.get()), NLM_F_REQUEST | NLM_F_ACK);
    }
}
