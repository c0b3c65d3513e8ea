// SPDX-License-Identifier: MIT
// The fleet's contract: a name rfwatch-mqtt accepts is one the fleet page
// lists, topics split back into what built them, and the status payload
// survives the trip from the bridge to the page.
#include "fleet_contract.h"

#include <gtest/gtest.h>
#include <string>

TEST(FleetContract, ANameIsPublishableExactlyWhenThePageCanListIt)
{
    const std::string longest(FLEET_NAME_MAX, 'n');
    struct Case {
        std::string name;
        bool ok;
    } const cases[] = {
        {"ap-17", true},        {"ap.lab:2", true}, {longest, true},
        {longest + "n", false}, {"", false},        {"ap 1", false},
        {"ap\"1", false},       {"ap\\1", false},   {"\xc3\xa9t\xc3\xa9", false},
        {"a/b", false},         {"wl+", false},     {"#", false},
        {"tab\there", false},   {"del\x7f", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(fleet_name_ok(c.name), c.ok) << c.name;
        // What the bridge would publish under the name, read by the page.
        for (const FleetTopic kind : {FleetTopic::Spectrum, FleetTopic::Status}) {
            FleetTopicParts p{};
            const std::string topic = fleet_topic("site/a", c.name, "phy0", kind);
            const bool listed = fleet_topic_parse("site/a", topic, p);
            EXPECT_EQ(listed, c.ok) << c.name;
            if (listed) {
                EXPECT_TRUE(p.kind == kind && p.node == c.name && p.radio == "phy0") << c.name;
            }
        }
    }
}

TEST(FleetContract, OnlyTheRadiosOwnTopicsUnderThePrefixAreRead)
{
    FleetTopicParts p{};
    EXPECT_EQ(fleet_topic("site/a", "ap", "phy0", FleetTopic::Command), "site/a/ap/phy0/command");
    EXPECT_EQ(fleet_subscription("wifidiag", FleetTopic::Status), "wifidiag/+/+/status");
    const char *refused[] = {
        "wifidiag/ap/phy0/command",    // the radio's to read, not the page's
        "wifidiag/ap/spectrum",        // no radio
        "wifidiag/ap/x/phy0/spectrum", // one level too many
        "wifidiagX/ap/phy0/spectrum",  // another prefix that starts the same
        "other/ap/phy0/status",        // another prefix
        "wifidiag/ap/phy0/xstatus",    // a leaf that only ends the same
        "wifidiag//phy0/spectrum",     // empty node
    };
    for (const char *t : refused)
        EXPECT_FALSE(fleet_topic_parse("wifidiag", t, p)) << t;

    struct Prefix {
        const char *text;
        bool ok;
    } const prefixes[] = {{"wifidiag", true}, {"site/floor 2/\xc3\xa9", true},
                          {"a//b", false},    {"/a", false},
                          {"a/", false},      {"#", false},
                          {"a/+/b", false},   {"", false},
                          {"a\x01", false},   {"\xc3(", false}};
    for (const Prefix &x : prefixes)
        EXPECT_EQ(fleet_prefix_ok(x.text), x.ok) << x.text;
}

TEST(FleetContract, StatusRoundTripsAndAnythingElseIsRefused)
{
    const FleetStatus sent[] = {
        {true, true, 1200, 3}, {false, false, 0, 0}, {true, false, uint64_t{1} << 53, 7}};
    for (const FleetStatus &s : sent) {
        FleetStatus got;
        ASSERT_TRUE(fleet_status_parse(fleet_status_encode(s), got)) << fleet_status_encode(s);
        EXPECT_TRUE(got.online == s.online && got.daemon_connected == s.daemon_connected &&
                    got.lines == s.lines && got.dropped == s.dropped)
            << fleet_status_encode(s);
    }
    // The form retained on brokers and read by other subscribers.
    EXPECT_EQ(fleet_status_encode({true, true, 12, 3}),
              R"({"state":"online","daemon":"connected","lines":12,"dropped":3})");

    FleetStatus kept;
    kept.lines = 7;
    const char *bad[] = {
        R"({"state":"up","daemon":"connected","lines":1,"dropped":0})",
        R"({"state":"online","daemon":"connected","lines":-1,"dropped":0})",
        R"({"state":"online","daemon":"connected","lines":1})",
        R"({"state":"online","lines":1,"dropped":0})",
        R"(["online"])",
        "not json",
        "",
    };
    for (const char *b : bad) {
        EXPECT_FALSE(fleet_status_parse(b, kept)) << b;
        EXPECT_EQ(kept.lines, 7u) << "a refused payload changed the status: " << b;
    }
}
