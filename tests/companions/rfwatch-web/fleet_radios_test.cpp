// Fleet mode's view of the broker's topics: only well-formed topics of the
// chosen prefix make radios, names that would break the page or a topic are
// refused, the status payload is read strictly, and the table stays bounded.
#include "fleet_radios.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(FleetTopic, SplitsPrefixNodeRadioAndKind)
{
    FleetTopicParts p{};
    ASSERT_TRUE(fleet_topic_parse("wifidiag", "wifidiag/ap-17/phy0/spectrum", p));
    EXPECT_EQ(p.kind, FleetTopic::Spectrum);
    EXPECT_EQ(p.node, "ap-17");
    EXPECT_EQ(p.radio, "phy0");
    ASSERT_TRUE(fleet_topic_parse("site/a", "site/a/ap.lab:2/rfwatchd/status", p));
    EXPECT_EQ(p.kind, FleetTopic::Status);
    EXPECT_EQ(p.node, "ap.lab:2");
    EXPECT_EQ(p.radio, "rfwatchd");
    EXPECT_EQ(fleet_command_topic("site/a", "ap.lab:2", "rfwatchd"),
              "site/a/ap.lab:2/rfwatchd/command");

    const char *refused[] = {
        "wifidiag/ap/phy0/command",      // ours, not theirs
        "wifidiag/ap/spectrum",          // no radio
        "wifidiag/ap/x/phy0/spectrum",   // one level too many
        "wifidiagX/ap/phy0/spectrum",    // another prefix that starts the same
        "other/ap/phy0/status",          // another prefix
        "wifidiag//phy0/spectrum",       // empty node
        "wifidiag/ap/phy\"0/spectrum",   // would end a JSON string on the page
        "wifidiag/ap/ph\\y0/spectrum",   // would escape on the page
        "wifidiag/a p/phy0/spectrum",    // blank
        "wifidiag/\xc3\xa9/phy0/status", // beyond ASCII: the page's text must stay valid
    };
    for (const char *t : refused)
        EXPECT_FALSE(fleet_topic_parse("wifidiag", t, p)) << t;
    const std::string long_name(FLEET_NAME_MAX + 1, 'n');
    EXPECT_FALSE(fleet_topic_parse("wifidiag", "wifidiag/" + long_name + "/phy0/status", p));
    EXPECT_TRUE(
        fleet_topic_parse("wifidiag", "wifidiag/" + long_name.substr(1) + "/phy0/status", p));
}

TEST(FleetStatus, ReadsTheBridgesStatusAndRefusesAnythingElse)
{
    FleetStatus s;
    ASSERT_TRUE(fleet_status_parse(
        R"({"state":"online","daemon":"connected","lines":1200,"dropped":3})", s));
    EXPECT_TRUE(s.online);
    EXPECT_TRUE(s.daemon_connected);
    EXPECT_EQ(s.lines, 1200u);
    EXPECT_EQ(s.dropped, 3u);
    ASSERT_TRUE(fleet_status_parse(
        R"({"state":"offline","daemon":"unreachable","lines":0,"dropped":0})", s));
    EXPECT_FALSE(s.online);
    EXPECT_FALSE(s.daemon_connected);

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

TEST(FleetRadios, IdsAreStableAndLiveMeansOnlineWithItsDaemon)
{
    FleetRadios t;
    FleetAdded how = FleetAdded::Known;
    EXPECT_EQ(fleet_radio_id(t, "ap1", "phy0", 0, &how), 0);
    EXPECT_EQ(how, FleetAdded::New);
    EXPECT_EQ(fleet_radio_id(t, "ap1", "phy1", 0), 1);
    EXPECT_EQ(fleet_radio_id(t, "ap2", "phy0", 0), 2);
    EXPECT_EQ(fleet_radio_id(t, "ap1", "phy0", 0, &how), 0);
    EXPECT_EQ(how, FleetAdded::Known);

    FleetRadio &r = t.radios[2];
    EXPECT_FALSE(fleet_radio_live(r));
    r.status_known = true;
    r.status = {true, true, 10, 0};
    EXPECT_TRUE(fleet_radio_live(r));
    r.status.daemon_connected = false;
    EXPECT_FALSE(fleet_radio_live(r)) << "online bridge, daemon gone: nothing to show";
}

// A flood of made-up radios fills the table; radios heard of afterwards
// still get in, in the place of the one silent longest, and silent radios
// are forgotten after FLEET_SILENT_US. Times are given, not waited for.
TEST(FleetRadios, SilentRadiosAreForgottenAndAFullTableMakesRoom)
{
    constexpr int64_t S = 1000000;
    FleetRadios t;
    ASSERT_EQ(fleet_radio_id(t, "real", "phy0", 0), 0);
    for (size_t i = 1; i < FLEET_MAX_RADIOS; i++)
        ASSERT_EQ(fleet_radio_id(t, "fake" + std::to_string(i), "phy0", S), static_cast<int>(i));

    struct Step {
        const char *what;
        int64_t at;
        size_t forgotten;  // by the expiry at `at`
        const char *heard; // then heard of at `at`; nullptr: none
        int id;
        FleetAdded how;
    };
    const Step steps[] = {
        {"known radio in a full table", 2 * S, 0, "fake7", 7, FleetAdded::Known},
        {"a newcomer takes the longest silent's place", 3 * S, 0, "new1", 0, FleetAdded::Replaced},
        {"the evicted one comes back in the next", 4 * S, 0, "real", 1, FleetAdded::Replaced},
        {"silent not quite long enough", FLEET_SILENT_US, 0, nullptr, 0, FleetAdded::Known},
        {"silent long enough: all but three forgotten, a forgotten place reused",
         S + FLEET_SILENT_US, FLEET_MAX_RADIOS - 3, "new2", 2, FleetAdded::Replaced},
    };
    for (const Step &s : steps) {
        std::vector<int> gone;
        fleet_radios_expire(
            t, s.at, [](void *c, int id) { static_cast<std::vector<int> *>(c)->push_back(id); },
            &gone);
        EXPECT_EQ(gone.size(), s.forgotten) << s.what;
        if (s.heard == nullptr)
            continue;
        FleetAdded how = FleetAdded::New;
        EXPECT_EQ(fleet_radio_id(t, s.heard, "phy0", s.at, &how), s.id) << s.what;
        EXPECT_EQ(how, s.how) << s.what;
    }
    EXPECT_EQ(t.radios.size(), FLEET_MAX_RADIOS);
    EXPECT_EQ(t.ids.size(), 4u) << "new1, real, fake7, new2";
    EXPECT_EQ(t.evicted, 2u) << "real, then fake1, were pushed out before their time";
    EXPECT_FALSE(fleet_radio_live(t.radios[5]));
    EXPECT_FALSE(t.radios[5].in_use);
    EXPECT_EQ(fleet_radio_id(t, "fake5", "phy0", 0), 3) << "a forgotten radio heard again is new";
}
