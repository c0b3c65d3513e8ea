// SPDX-License-Identifier: MIT
// Commands arrive from any local program; wrong shapes must be ignored and
// numbers must land in 32 bits the way clients have always seen them.
#include "base/log.h"
#include "core/command_parse.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace
{

CommandParse parse(const std::string &text, ParsedCommand &out)
{
    return parse_client_command(text.c_str(), text.size(), out);
}

} // namespace

TEST(CommandParse, NumbersTruncateAndClamp)
{
    EXPECT_EQ(clamp_to_int32(2.9), 2);
    EXPECT_EQ(clamp_to_int32(-2.9), -2);
    EXPECT_EQ(clamp_to_int32(1e12), INT32_MAX);
    EXPECT_EQ(clamp_to_int32(-1e12), INT32_MIN);
    EXPECT_EQ(clamp_to_int32(2147483647.5), INT32_MAX);
}

TEST(CommandParse, SetAggregationNeedsAPositivePeriod)
{
    ParsedCommand c;
    ASSERT_EQ(parse(R"({"command":1,"aggregation_period_ms":1000})", c), COMMAND_OK);
    EXPECT_EQ(c.command, CMD_SET_AGGREGATION);
    EXPECT_EQ(c.period_ms, 1000);
    ASSERT_EQ(parse(R"({"command":1.7,"aggregation_period_ms":1e15})", c), COMMAND_OK);
    EXPECT_EQ(c.period_ms, INT32_MAX);
    for (const char *bad : {R"({"command":1,"aggregation_period_ms":0})",
                            R"({"command":1,"aggregation_period_ms":-5})",
                            R"({"command":1,"aggregation_period_ms":"500"})",
                            R"({"command":1,"aggregation_period_ms":0.9})", R"({"command":1})",
                            R"({"Command":1,"aggregation_period_ms":5})"})
        EXPECT_EQ(parse(bad, c), COMMAND_IGNORED) << bad;
}

TEST(CommandParse, UnknownOrMissingCommandsAreIgnored)
{
    ParsedCommand c;
    for (const char *bad : {R"({"command":4})", R"({"command":-1})", R"({"command":"3"})", R"({})",
                            R"([3])", "3", R"({"command":0})"})
        EXPECT_EQ(parse(bad, c), COMMAND_IGNORED) << bad;
    EXPECT_EQ(parse(R"({"command":3,"other":[1,2]})", c), COMMAND_OK);
    EXPECT_EQ(c.command, CMD_CANCEL_SWEEP);
}

TEST(CommandParse, AirPeriodIsZeroOrAWholeNumberInRange)
{
    const struct {
        const char *period; // the value text; nullptr: no air_period_ms
        int32_t parsed;     // -1: ignored
    } cases[] = {{"0", 0},    {"100", 100},    {"60000", 60000}, {"1e3", 1000}, {"99", -1},
                 {"1", -1},   {"60001", -1},   {"1e12", -1},     {"-100", -1},  {"500.5", -1},
                 {"0.5", -1}, {"\"500\"", -1}, {nullptr, -1}};
    for (const auto &t : cases) {
        const std::string text =
            t.period ? std::string(R"({"command":4,"air_period_ms":)") + t.period + "}"
                     : R"({"command":4,"aggregation_period_ms":500})";
        ParsedCommand c;
        EXPECT_EQ(parse(text, c), t.parsed < 0 ? COMMAND_IGNORED : COMMAND_OK) << text;
        EXPECT_EQ(c.command, CMD_AIR) << text; // so that a refusal can name it
        EXPECT_EQ(c.air_period_ms, t.parsed < 0 ? 0 : t.parsed) << text;
    }
}

TEST(CommandParse, StartSweepRangeAndDefaults)
{
    ParsedCommand c;
    ASSERT_EQ(parse(R"({"command":2,"sweep_from":2400,"sweep_to":2500})", c), COMMAND_OK);
    EXPECT_EQ(c.command, CMD_START_SWEEP);
    EXPECT_EQ(c.from_mhz, 2400);
    EXPECT_EQ(c.to_mhz, 2500);
    EXPECT_EQ(c.duration_s, 0);
    EXPECT_EQ(c.dwell_ms, 1000);

    ASSERT_EQ(parse(R"({"command":2,"sweep_from":5000,"sweep_to":5000,"duration_seconds":3,)"
                    R"("dwell_time_ms":250})",
                    c),
              COMMAND_OK); // equal ends are the sweep engine's to refuse
    EXPECT_EQ(c.duration_s, 3);
    EXPECT_EQ(c.dwell_ms, 250);

    ASSERT_EQ(parse(R"({"command":2,"sweep_from":1,"sweep_to":2,"duration_seconds":"x",)"
                    R"("dwell_time_ms":-4})",
                    c),
              COMMAND_OK);
    EXPECT_EQ(c.duration_s, 0);
    EXPECT_EQ(c.dwell_ms, 1000);

    for (const char *bad :
         {R"({"command":2,"sweep_from":2500,"sweep_to":2400})",
          R"({"command":2,"sweep_from":-1,"sweep_to":2400})", R"({"command":2,"sweep_to":2400})",
          R"({"command":2,"sweep_from":"1","sweep_to":2400})"})
        EXPECT_EQ(parse(bad, c), COMMAND_IGNORED) << bad;
}

TEST(CommandParse, OnlyTheFirstValueOfARead)
{
    ParsedCommand c;
    ASSERT_EQ(parse(R"({"command":3}{"command":1,"aggregation_period_ms":5})", c), COMMAND_OK);
    EXPECT_EQ(c.command, CMD_CANCEL_SWEEP);
    EXPECT_EQ(parse("{\"command\":3}\n", c), COMMAND_OK);
}

TEST(CommandParse, ParseErrorsPointAtTheRest)
{
    ParsedCommand c;
    std::string text = R"({"command":1,x})";
    ASSERT_EQ(parse(text, c), COMMAND_NOT_JSON);
    ASSERT_NE(c.error_at, nullptr);
    // cJSON stops at or just after the offending token.
    EXPECT_GE(c.error_at, text.c_str() + text.find('x'));
    EXPECT_LT(c.error_at, text.c_str() + text.size());
    // Bytes after the length given are not looked at.
    std::string cut = R"({"command":3})";
    EXPECT_EQ(parse_client_command(cut.c_str(), 5, c), COMMAND_NOT_JSON);
    EXPECT_GE(c.error_at, cut.c_str());
    EXPECT_LE(c.error_at, cut.c_str() + 5);
}

// What a client sent reaches the log only with its control bytes escaped.
TEST(CommandParse, ParseErrorTextHasItsControlBytesEscaped)
{
    const struct {
        std::string in, shown;
    } cases[] = {
        {"plain {text} \\x41", "plain {text} \\x41"},
        {"a\nb\r\tc", "a\\x0ab\\x0d\\x09c"},
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa1"},
        {"\xc2\x9b"
         "1m \x9b",
         "\\xc2\\x9b1m \\x9b"}, // C1 CSI, encoded and raw
        {"\xc3\x28 \xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x82",
         "\\xc3( \\xe0\\x80\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80 \\xe2\\x82"},
    };
    for (const auto &c : cases) {
        std::string out(escaped_size(c.in.size()), '?');
        EXPECT_EQ(escape_control(c.in, out.data()), c.shown) << c.shown;
    }
}
