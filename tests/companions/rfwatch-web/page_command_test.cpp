// What the page asks for reaches rfwatchd as exactly its command, and what
// it must not ask for is answered with a sentence the page can show.
#include "page_command.h"

#include "core/command_parse.h"

#include <gtest/gtest.h>
#include <string>

namespace
{

struct Case {
    const char *message;
    const char *json_or_error; // rfwatchd's command when Ok, else the error
};

void expect_ok(const Case &c)
{
    std::string json, error;
    EXPECT_EQ(page_command_to_json(c.message, json, error), PageCommandResult::Ok)
        << c.message << ": " << error;
    EXPECT_EQ(json, c.json_or_error) << c.message;
}

void expect_invalid(const Case &c)
{
    std::string json = "stale", error;
    EXPECT_EQ(page_command_to_json(c.message, json, error), PageCommandResult::Invalid)
        << c.message;
    EXPECT_EQ(error, c.json_or_error) << c.message;
    EXPECT_TRUE(json.empty()) << c.message; // nothing the caller could send by mistake
}

ParsedCommand daemon_reads(const std::string &json)
{
    ParsedCommand parsed{};
    EXPECT_EQ(parse_client_command(json.c_str(), json.size(), parsed), COMMAND_OK) << json;
    return parsed;
}

} // namespace

TEST(PageCommand, PeriodLimits)
{
    for (const Case &c :
         {Case{R"({"type":"period","ms":1})", R"({"command":1,"aggregation_period_ms":1})"},
          Case{R"({"type":"period","ms":60000})", R"({"command":1,"aggregation_period_ms":60000})"},
          Case{R"({"ms":250,"type":"period","extra":true})",
               R"({"command":1,"aggregation_period_ms":250})"}})
        expect_ok(c);
    const char *range = "period must be 1 to 60000 ms";
    for (const Case &c :
         {Case{R"({"type":"period","ms":0})", range},
          Case{R"({"type":"period","ms":60001})", range},
          Case{R"({"type":"period","ms":-5})", range}, Case{R"({"type":"period","ms":1.5})", range},
          Case{R"({"type":"period","ms":"100"})", range},
          Case{R"({"type":"period","ms":1e300})", range},
          Case{R"({"type":"period"})", "period is missing"},
          Case{R"({"type":"period","ms":null})", "period is missing"}})
        expect_invalid(c);
}

TEST(PageCommand, SweepLimits)
{
    for (const Case &c :
         {Case{R"({"type":"sweep","from":2400,"to":7125,"duration":0,"dwell":5})",
               R"({"command":2,"sweep_from":2400,"sweep_to":7125,"duration_seconds":0,)"
               R"("dwell_time_ms":5})"},
          Case{R"({"type":"sweep","from":5180,"to":5180,"duration":86400,"dwell":60000})",
               R"({"command":2,"sweep_from":5180,"sweep_to":5180,"duration_seconds":86400,)"
               R"("dwell_time_ms":60000})"},
          // Duration and dwell are optional: the daemon's defaults apply.
          Case{R"({"type":"sweep","from":2412,"to":2472})",
               R"({"command":2,"sweep_from":2412,"sweep_to":2472})"},
          Case{R"({"type":"sweep","from":2412,"to":2472,"duration":null,"dwell":200})",
               R"({"command":2,"sweep_from":2412,"sweep_to":2472,"dwell_time_ms":200})"}})
        expect_ok(c);

    for (const Case &c : {
             Case{R"({"type":"sweep","from":2399,"to":2500})",
                  "sweep: from must be 2400 to 7125 MHz"},
             Case{R"({"type":"sweep","from":7126,"to":7200})",
                  "sweep: from must be 2400 to 7125 MHz"},
             Case{R"({"type":"sweep","from":2412,"to":7126})",
                  "sweep: to must be 2400 to 7125 MHz"},
             Case{R"({"type":"sweep","from":2412,"to":"2472"})",
                  "sweep: to must be 2400 to 7125 MHz"},
             Case{R"({"type":"sweep","from":2472,"to":2412})", "sweep: to must not be below from"},
             Case{R"({"type":"sweep","to":2412})", "sweep: from is missing"},
             Case{R"({"type":"sweep","from":2412})", "sweep: to is missing"},
             Case{R"({"type":"sweep","from":2412,"to":2472,"duration":-1})",
                  "sweep: duration must be 0 to 86400 s"},
             Case{R"({"type":"sweep","from":2412,"to":2472,"duration":86401})",
                  "sweep: duration must be 0 to 86400 s"},
             Case{R"({"type":"sweep","from":2412,"to":2472,"dwell":4})",
                  "sweep: dwell must be 5 to 60000 ms"},
             Case{R"({"type":"sweep","from":2412,"to":2472,"dwell":60001})",
                  "sweep: dwell must be 5 to 60000 ms"},
             Case{R"({"type":"sweep","from":2412,"to":2472,"dwell":"fast"})",
                  "sweep: dwell must be 5 to 60000 ms"},
         })
        expect_invalid(c);
}

TEST(PageCommand, CancelAndWhatIsNotACommand)
{
    expect_ok({R"({"type":"cancel"})", R"({"command":3})"});
    expect_invalid({"", "command is not a JSON object"});
    expect_invalid({"cancel", "command is not a JSON object"});
    expect_invalid({R"(["cancel"])", "command is not a JSON object"});
    expect_invalid({R"({"ms":100})", "command has no type"});
    expect_invalid({R"({"type":3})", "command has no type"});
    const char *unknown = "unknown command type (known: period, sweep, cancel)";
    expect_invalid({R"({"type":"reboot"})", unknown});
    expect_invalid({R"({"type":"Cancel"})", unknown});
    // The page's text is not echoed back into the page.
    expect_invalid({R"({"type":"<script>"})", unknown});
}

TEST(PageCommand, TheDaemonReadsTheSameValues)
{
    std::string json, error;
    ASSERT_EQ(page_command_to_json(R"({"type":"period","ms":750})", json, error),
              PageCommandResult::Ok);
    ParsedCommand p = daemon_reads(json);
    EXPECT_EQ(p.command, CMD_SET_AGGREGATION);
    EXPECT_EQ(p.period_ms, 750);

    ASSERT_EQ(
        page_command_to_json(R"({"type":"sweep","from":5170,"to":5330,"duration":120,"dwell":250})",
                             json, error),
        PageCommandResult::Ok);
    p = daemon_reads(json);
    EXPECT_EQ(p.command, CMD_START_SWEEP);
    EXPECT_EQ(p.from_mhz, 5170);
    EXPECT_EQ(p.to_mhz, 5330);
    EXPECT_EQ(p.duration_s, 120);
    EXPECT_EQ(p.dwell_ms, 250);

    ASSERT_EQ(page_command_to_json(R"({"type":"sweep","from":2412,"to":2484})", json, error),
              PageCommandResult::Ok);
    p = daemon_reads(json);
    EXPECT_EQ(p.duration_s, 0);
    EXPECT_EQ(p.dwell_ms, DEFAULT_DWELL_MS);

    ASSERT_EQ(page_command_to_json(R"({"type":"cancel"})", json, error), PageCommandResult::Ok);
    EXPECT_EQ(daemon_reads(json).command, CMD_CANCEL_SWEEP);
}
