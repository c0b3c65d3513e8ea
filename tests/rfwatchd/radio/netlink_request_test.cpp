// SPDX-License-Identifier: MIT
// The runners against the real kernel: which of a request's fixed lines each
// kind writes on a failing step, that the refusal is left to the operation,
// and that the operation's hook runs only when the request goes out.
#include "radio/netlink_request.h"
#include "radio/netlink_socket.h"

#include <gtest/gtest.h>
#include <linux/rtnetlink.h>
#include <netlink/msg.h>
#include <string>

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

// Both hooks of a request: counts the builds and the ready calls. With type
// 0 every build fails as if the message were full; otherwise it builds an
// RTM_GETLINK / RTM_NEWLINK of that type for an interface index no kernel
// hands out. The requests below refer to it, so it outlives each run.
struct Probe {
    int built = 0;
    int ready = 0;
    int family = -1;
    int type = 0;

    bool operator()(nl_msg *msg, int nl_family)
    {
        built++;
        family = nl_family;
        if (type == 0)
            return false;
        nlmsghdr *nlh = nlmsg_put(msg, NL_AUTO_PORT, NL_AUTO_SEQ, type, sizeof(ifinfomsg), 0);
        if (!nlh)
            return false;
        auto *ifi = static_cast<ifinfomsg *>(nlmsg_data(nlh));
        *ifi = ifinfomsg{};
        ifi->ifi_index = 999999;
        ifi->ifi_change = 0; // changes nothing even if it existed
        return true;
    }
    void operator()() { ready++; }
};

NlRequest full_message(RadioRequest kind, Probe &probe)
{
    probe.type = 0;
    return {kind, "x0", probe, probe};
}

NlRequest missing_link(RadioRequest kind, int type, Probe &probe)
{
    probe.type = type;
    return {kind, "gone0", probe, probe};
}

int count_replies(nl_msg *, void *context)
{
    ++*static_cast<int *>(context);
    return NL_OK;
}

} // namespace

TEST(RouteRunners, FullMessageWritesTheRowsBuildLineAndSendsNothing)
{
    struct Case {
        RadioRequest kind;
        bool ack;
        const char *line;
        RadioError result;
    };
    const Case cases[] = {
        {RadioRequest::GetLink, false, "Failed to build GETLINK for x0\n",
         RadioError::NetlinkInitFailed},
        {RadioRequest::NewLink, true, "Failed to build NEWLINK for x0\n",
         RadioError::NetlinkInitFailed},
    };
    for (const Case &c : cases) {
        Probe probe;
        int replies = 0;
        testing::internal::CaptureStderr();
        NlRun run = c.ack ? run_ack_request(NlSocketKind::Route, full_message(c.kind, probe))
                          : run_route_reply(full_message(c.kind, probe), count_replies, &replies);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(run.result, c.result);
        EXPECT_EQ(run.stage, NlStage::Setup);
        EXPECT_EQ(probe.built, 1);
        EXPECT_EQ(probe.family, 0) << "rtnetlink has no family id";
        EXPECT_EQ(probe.ready, 0) << "nothing went out";
        EXPECT_EQ(replies, 0);
    }
}

TEST(RouteRunners, RefusalIsLeftToTheOperation)
{
    Probe probe;
    int replies = 0;
    testing::internal::CaptureStderr();
    NlRun query = run_route_reply(missing_link(RadioRequest::GetLink, RTM_GETLINK, probe),
                                  count_replies, &replies);
    NlRun set = run_ack_request(NlSocketKind::Route,
                                missing_link(RadioRequest::NewLink, RTM_NEWLINK, probe));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(query.stage, NlStage::Receive);
    EXPECT_EQ(query.result, RadioError::LinkQueryFailed);
    EXPECT_LT(query.error, 0);
    EXPECT_EQ(set.stage, NlStage::Receive);
    EXPECT_EQ(set.result, RadioError::LinkSetFailed);
    EXPECT_LT(set.error, 0);
    EXPECT_EQ(probe.built, 2);
    EXPECT_EQ(probe.ready, 2);
    EXPECT_EQ(replies, 0);
}

TEST(RouteRunners, ReplyOfAnExistingLinkReachesTheHandler)
{
    int replies = 0;
    int ready = 0;
    auto build = [](nl_msg *msg, int) {
        nlmsghdr *nlh =
            nlmsg_put(msg, NL_AUTO_PORT, NL_AUTO_SEQ, RTM_GETLINK, sizeof(ifinfomsg), 0);
        if (!nlh)
            return false;
        auto *ifi = static_cast<ifinfomsg *>(nlmsg_data(nlh));
        *ifi = ifinfomsg{};
        ifi->ifi_index = 1; // loopback, in every namespace
        return true;
    };
    auto count_ready = [&ready] { ready++; };
    NlRequest loopback{RadioRequest::GetLink, "lo", build, count_ready};
    testing::internal::CaptureStderr();
    NlRun run = run_route_reply(loopback, count_replies, &replies);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(run.result, RadioError::Success);
    EXPECT_EQ(run.stage, NlStage::Done);
    EXPECT_EQ(run.error, 0);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(replies, 1);
}

TEST(Nl80211Runners, FullMessageOrMissingFamilyStopsBeforeTheSend)
{
    struct Case {
        RadioRequest kind;
        bool ack;
        const char *line;
    };
    const Case cases[] = {
        {RadioRequest::InterfaceQuery, false, "Failed to build interface query for x0\n"},
        {RadioRequest::ConfigQuery, false, "Failed to build config backup query for x0\n"},
        {RadioRequest::SetWiphy, true, "Failed to build channel set command for x0\n"},
    };
    bool nl80211 = have_nl80211();
    for (const Case &c : cases) {
        Probe probe;
        int replies = 0;
        testing::internal::CaptureStderr();
        NlRun run = c.ack ? run_ack_request(NlSocketKind::Nl80211, full_message(c.kind, probe))
                          : run_nl80211_reply(full_message(c.kind, probe), count_replies, &replies);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(run.result, RadioError::NetlinkInitFailed);
        EXPECT_EQ(run.stage, NlStage::Setup);
        EXPECT_EQ(probe.ready, 0);
        if (nl80211) {
            EXPECT_EQ(err, c.line);
            EXPECT_EQ(probe.built, 1);
            EXPECT_GT(probe.family, 0) << "the resolved nl80211 id";
        } else {
            EXPECT_EQ(err.rfind("Failed to resolve nl80211 family on dedicated socket: ", 0), 0u)
                << err;
            EXPECT_EQ(probe.built, 0);
        }
    }
}
