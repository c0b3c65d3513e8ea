// Commands from the command topic reach rfwatchd as exactly what its own
// parser accepts with the values asked for; everything else is refused.
#include "command_check.h"

#include "core/command_parse.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

ParsedCommand daemon_reads(const std::string &json)
{
    ParsedCommand parsed{};
    EXPECT_EQ(parse_client_command(json.c_str(), json.size(), parsed), COMMAND_OK) << json;
    return parsed;
}

std::string accepted(const char *message)
{
    std::string json, error;
    EXPECT_TRUE(check_command(message, json, error)) << message << ": " << error;
    return json;
}

} // namespace

TEST(CommandCheck, AcceptedCommandsAreCanonicalAndMeanTheSameToRfwatchd)
{
    std::string j = accepted(R"( {"aggregation_period_ms":250,"command":1} )");
    EXPECT_EQ(j, R"({"command":1,"aggregation_period_ms":250})");
    EXPECT_EQ(daemon_reads(j).period_ms, 250);

    j = accepted(R"({"command":2,"sweep_from":2412,"sweep_to":2484,"duration_seconds":0,)"
                 R"("dwell_time_ms":100})");
    EXPECT_EQ(j, R"({"command":2,"sweep_from":2412,"sweep_to":2484,"duration_seconds":0,)"
                 R"("dwell_time_ms":100})");
    ParsedCommand p = daemon_reads(j);
    EXPECT_EQ(p.command, CMD_START_SWEEP);
    EXPECT_EQ(p.from_mhz, 2412);
    EXPECT_EQ(p.to_mhz, 2484);
    EXPECT_EQ(p.duration_s, 0);
    EXPECT_EQ(p.dwell_ms, 100);

    j = accepted(R"({"command":2,"sweep_from":5180,"sweep_to":5180})");
    p = daemon_reads(j);
    EXPECT_EQ(p.dwell_ms, DEFAULT_DWELL_MS);

    j = accepted(R"({"command":3})");
    EXPECT_EQ(daemon_reads(j).command, CMD_CANCEL_SWEEP);
    j = accepted(R"({"command":1,"aggregation_period_ms":2147483647})");
    EXPECT_EQ(daemon_reads(j).period_ms, 2147483647);
}

TEST(CommandCheck, RefusedCommands)
{
    for (const char *bad : {
             "",
             "null",
             "[1]",
             "3",
             R"("command")",
             "{",
             R"({"command":1})",
             R"({"command":4})",
             R"({"command":0})",
             R"({"command":"1"})",
             R"({"command":1.5,"aggregation_period_ms":5})",
             R"({"command":1,"aggregation_period_ms":0})",
             R"({"command":1,"aggregation_period_ms":-5})",
             R"({"command":1,"aggregation_period_ms":2.5})",   // rfwatchd would take 2
             R"({"command":1,"aggregation_period_ms":1e300})", // rfwatchd would clamp
             R"({"command":1,"aggregation_period_ms":"100"})",
             R"({"command":1,"aggregation_period_ms":100,"x":1})", // typo or smuggling
             R"({"command":3,"sweep_from":1})",                    // key of another command
             R"({"command":2,"sweep_from":2484,"sweep_to":2412})",
             R"({"command":2,"sweep_from":-1,"sweep_to":2412})",
             R"({"command":2,"sweep_to":2412})",
             R"({"command":2,"sweep_from":2412,"sweep_to":2484,"dwell_time_ms":0})",
             R"({"command":2,"sweep_from":2412,"sweep_to":2484,"duration_seconds":-1})",
             R"({"command":3}{"command":1,"aggregation_period_ms":1})", // a second value
             R"({"command":3} x)",
         }) {
        std::string json = "stale", error;
        EXPECT_FALSE(check_command(bad, json, error)) << bad;
        EXPECT_TRUE(json.empty()) << bad; // nothing the caller could send by mistake
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string big = R"({"command":3,"pad":")" + std::string(2000, 'x') + "\"}";
    std::string json, error;
    EXPECT_FALSE(check_command(big, json, error));
    EXPECT_NE(error.find("1024"), std::string::npos);
}

TEST(CommandCheck, LogEscaping)
{
    EXPECT_EQ(escape_for_log("plain {\"a\":1}", 100), "plain {\\x22a\\x22:1}");
    EXPECT_EQ(escape_for_log("a\nrfwatch-mqtt: fake\x1b[2J\\", 100),
              "a\\x0arfwatch-mqtt: fake\\x1b[2J\\x5c");
    EXPECT_EQ(escape_for_log("\xff", 100), "\\xff");
    EXPECT_EQ(escape_for_log("abcdef", 3), "abc...");
}
