// SPDX-License-Identifier: MIT
// Fleet mode's table of radios: ids stay stable, the page's messages are
// JSON, and the table stays bounded. (Topics and the status payload:
// mqtt-common's fleet_contract_test.)
#include "fleet_radios.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(FleetRadios, IdsAreStableTheTableIsBoundedAndMessagesAreJson)
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
