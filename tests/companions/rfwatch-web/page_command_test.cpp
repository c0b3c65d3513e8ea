// SPDX-License-Identifier: MIT
// The page's message shapes around rfwatchd's commands: what is not a page
// command is answered with a sentence the page can show. The commands'
// fields and limits are tested with the codec (rfwatchd-stream).
#include "page_command.h"

#include <gtest/gtest.h>
#include <string>

TEST(PageCommand, TypesAndWhatIsNotACommand)
{
    const struct {
        const char *message;
        const char *json_or_error; // rfwatchd's command when accepted, else the error
        bool ok;
    } cases[] = {
        {R"({"type":"cancel"})", R"({"command":3})", true},
        {R"({"ms":250,"type":"period","extra":true})",
         R"({"command":1,"aggregation_period_ms":250})", true},
        {R"({"type":"sweep","from":2412,"to":2472,"duration":null,"dwell":200})",
         R"({"command":2,"sweep_from":2412,"sweep_to":2472,"dwell_time_ms":200})", true},
        {R"({"type":"air","air":0})", R"({"command":4,"air_period_ms":0})", true},
        {R"({"type":"air","air":50})",
         "air period of 1 to 99 ms is too short (0 stops the air lines, 100 to 60000 ms starts "
         "them)",
         false},
        {R"({"type":"period","ms":null})", "period is missing", false},
        {R"({"type":"sweep","from":2412,"to":"2472"})", "sweep: to must be 0 to 2147483647 MHz",
         false},
        {"", "command is not a JSON object", false},
        {"cancel", "command is not a JSON object", false},
        {R"(["cancel"])", "command is not a JSON object", false},
        {R"({"ms":100})", "command has no type", false},
        {R"({"type":3})", "command has no type", false},
        {R"({"type":"reboot"})", "unknown command type (known: period, sweep, cancel, air)", false},
        {R"({"type":"Cancel"})", "unknown command type (known: period, sweep, cancel, air)", false},
        // The page's text is not echoed back into the page.
        {R"({"type":"<script>"})", "unknown command type (known: period, sweep, cancel, air)",
         false},
    };
    for (const auto &c : cases) {
        std::string json = "stale", error;
        const PageCommandResult r = page_command_to_json(c.message, json, error);
        EXPECT_EQ(r == PageCommandResult::Ok, c.ok) << c.message;
        EXPECT_EQ(c.ok ? json : error, c.json_or_error) << c.message;
        if (!c.ok) {
            EXPECT_TRUE(json.empty()) << c.message; // nothing the caller could send by mistake
        }
    }
}

TEST(PageCommand, SelectARadioHeardOf)
{
    const struct {
        const char *message;
        int max_radio;
        PageSelectResult result;
        const char *error;
    } cases[] = {
        {R"({"type":"select","radio":2})", 3, PageSelectResult::Select, ""},
        {R"({"type":"select","radio":3})", 3, PageSelectResult::Invalid,
         "select: radio must be 0 to 2 (a radio id)"},
        {R"({"type":"select","radio":0.5})", 3, PageSelectResult::Invalid,
         "select: radio must be 0 to 2 (a radio id)"},
        {R"({"type":"select"})", 3, PageSelectResult::Invalid, "select: radio is missing"},
        {R"({"type":"select","radio":0})", 0, PageSelectResult::Invalid,
         "no radio has been heard of yet"},
        {R"({"type":"cancel"})", 3, PageSelectResult::NotSelect, ""},
    };
    for (const auto &c : cases) {
        int radio = -1;
        std::string error;
        EXPECT_EQ(page_select_radio(c.message, c.max_radio, radio, error), c.result) << c.message;
        EXPECT_EQ(error, c.error) << c.message;
        if (c.result == PageSelectResult::Select) {
            EXPECT_EQ(radio, 2);
        }
    }
}
