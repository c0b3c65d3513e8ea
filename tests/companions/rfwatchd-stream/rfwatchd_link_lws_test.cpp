// SPDX-License-Identifier: MIT
// The daemon link in a libwebsockets loop: the adopted descriptor carries
// lines and commands, and the retry timer brings it back to a new daemon.
#include "rfwatchd_link_lws.h"

#include "fake_rfwatchd.h"
#include "temp_dir.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

struct Seen {
    std::vector<std::string> lines;
    std::vector<LinkChange> changes;
    std::vector<std::pair<uint64_t, bool>> done; // tag, sent
};

// Runs the loop until done() or 20 s.
bool serve_until(lws_context *context, const std::function<bool()> &done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done())
        if (std::chrono::steady_clock::now() > until || lws_service(context, 0) < 0)
            return false;
    return true;
}

} // namespace

TEST(RfwatchdLinkLws, CarriesLinesAndCommandsAndReconnectsOnItsTimer)
{
    lws_set_log_level(LLL_ERR, nullptr);
    wdtest::TempDir dir("rfwatchd-link-lws");
    const std::string path = dir.path() + "/d.sock";
    auto daemon = std::make_unique<wdtest::FakeRfwatchd>();
    ASSERT_TRUE(daemon->start(path));

    const lws_protocols protocols[] = {
        {LWS_WATCH_PROTOCOL_NAME, lws_watch_callback, 0, 0, 0, nullptr, 0}, {}};
    lws_context_creation_info info{};
    info.port = CONTEXT_PORT_NO_LISTEN;
    info.protocols = protocols;
    lws_context *context = lws_create_context(&info);
    ASSERT_NE(context, nullptr);
    lws_vhost *vhost = lws_get_vhost_by_name(context, "default");
    ASSERT_NE(vhost, nullptr);

    Seen seen;
    auto link = std::make_unique<DaemonLink>();
    link_init(
        *link, path,
        {&seen,
         [](void *c, std::string_view line) { static_cast<Seen *>(c)->lines.emplace_back(line); },
         [](void *c, LinkChange change, int) { static_cast<Seen *>(c)->changes.push_back(change); },
         [](void *c, const LinkCommand &cmd, bool sent) {
             static_cast<Seen *>(c)->done.emplace_back(cmd.tag, sent);
         }});
    LwsWatch watch;
    link_lws_start(watch, *link, context, vhost);
    ASSERT_TRUE(link_connected(*link));

    ASSERT_TRUE(daemon->wait_clients(1, 20000));
    ASSERT_TRUE(daemon->send("one\ntw"));
    ASSERT_TRUE(daemon->send("o\n"));
    EXPECT_EQ(link_lws_submit(watch, R"({"command":3})", 7), LinkSubmit::Queued);
    ASSERT_TRUE(
        serve_until(context, [&] { return seen.lines.size() == 2 && seen.done.size() == 1; }));
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(seen.done[0], std::make_pair(uint64_t{7}, true));
    ASSERT_TRUE(daemon->wait_reads(1, 20000));
    EXPECT_EQ(daemon->reads()[0].bytes, "{\"command\":3}\n");

    daemon->stop();
    ASSERT_TRUE(serve_until(context, [&] { return !link_connected(*link); }));
    EXPECT_EQ(seen.changes.back(), LinkChange::Closed);
    EXPECT_EQ(link_lws_submit(watch, "{}", 8), LinkSubmit::NotConnected);
    daemon = std::make_unique<wdtest::FakeRfwatchd>();
    ASSERT_TRUE(daemon->start(path));
    ASSERT_TRUE(serve_until(context, [&] { return link_connected(*link); }));
    EXPECT_EQ(seen.changes.back(), LinkChange::Connected);
    ASSERT_TRUE(daemon->wait_clients(1, 20000));

    lws_watch_stop(watch);
    lws_context_destroy(context);
    link_close(*link);
}
