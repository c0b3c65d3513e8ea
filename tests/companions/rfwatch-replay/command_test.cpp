// SPDX-License-Identifier: MIT
// A client's commands: split as rfwatchd splits them, and answered as a
// replay can: air lines switched per client, the radio's commands refused,
// each with one log line.
#include "command.h"
#include "command_input.h"
#include "replay_command.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

void collect(void *context, std::string_view command)
{
    static_cast<std::vector<std::string> *>(context)->emplace_back(command);
}

} // namespace

TEST(ReplayCommand, ReadsSplitAsTheDaemonSplitsThem)
{
    struct Case {
        const char *what;
        std::vector<std::string> reads; // "" stands for end of file
        std::vector<std::string> commands;
    };
    const std::string too_long(COMMAND_MAX_BYTES + 1, 'x');
    const Case cases[] = {
        {"one read without a line feed is one", {R"({"command":3})"}, {R"({"command":3})"}},
        {"each line is one, blank ones none",
         {"{\"command\":3}\n\r\n{\"command\":1}\n"},
         {R"({"command":3})", R"({"command":1})"}},
        {"a rest completed by the next read",
         {"{\"command\":3}\n{\"comm", "and\":1}\n"},
         {R"({"command":3})", R"({"command":1})"}},
        {"a rest ended by end of file",
         {"{\"command\":3}\n{\"command\":4", ""},
         {R"({"command":3})", R"({"command":4)"}},
        {"an endless rest is not held", {"\n" + too_long}, {too_long}},
    };
    for (const Case &c : cases) {
        CommandInput in;
        std::vector<std::string> got;
        for (const std::string &r : c.reads) {
            if (r.empty())
                command_input_end(in, collect, &got);
            else
                command_input_feed(in, r, collect, &got);
        }
        EXPECT_EQ(got, c.commands) << c.what;
    }
}

TEST(ReplayCommand, AirHonouredTheRadioRefused)
{
    struct Case {
        const char *command;
        bool air_changed;
        bool air;
        const char *log;
    };
    const Case cases[] = {
        {R"({"command":4,"air_period_ms":500})", true, true,
         "Client 7: air lines on (every 500 ms asked; served at the recording's own period)"},
        {R"({"command":4,"air_period_ms":0})", true, false, "Client 7: air lines off"},
        {R"({"command":1,"aggregation_period_ms":250})", false, false,
         "Client 7: aggregation period not changed: a replay serves the lines as recorded"},
        {R"({"command":2,"sweep_from":2412,"sweep_to":2472})", false, false,
         "Client 7: sweep not started: a replay cannot tune the radio"},
        {R"({"command":3})", false, false, "Client 7: no sweep to cancel: a replay runs none"},
        {"not json\x01", false, false, "Client 7: command refused: "},
        {R"({"command":9})", false, false, "Client 7: command refused: "},
    };
    for (const Case &c : cases) {
        const CommandOutcome r = replay_command(7, c.command);
        EXPECT_EQ(r.air_changed, c.air_changed) << c.command;
        if (r.air_changed) {
            EXPECT_EQ(r.air, c.air) << c.command;
        }
        EXPECT_EQ(r.log.rfind(c.log, 0), 0U) << c.command << " gave: " << r.log;
        EXPECT_EQ(r.log.find_first_of("\n\x01"), std::string::npos) << r.log;
    }
}
