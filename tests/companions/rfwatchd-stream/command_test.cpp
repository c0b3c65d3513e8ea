// SPDX-License-Identifier: MIT
// One table of commands, each sent the three ways a companion takes one (a
// page message, an MQTT command object, an rfwatch-view option) and checked
// against rfwatchd's own parser and sweep engine: what the companions
// accept the daemon carries out with the same values, what they refuse it
// refuses too, or the case says why the companions are stricter.
#include "command.h"
#include "core/command_parse.h"
#include "page_command.h"
#include "radio/channel_plan.h"
#include "radio/radio_control.h"
#include "radio/sweep.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace
{

using Num = std::optional<double>;

struct Case {
    CommandKind kind;
    Num a, b, c, d; // period | from, to, duration, dwell | air period
    bool accepted;
    const char *stricter; // refused, though rfwatchd would carry it out: why
};

std::string number(double v)
{
    char text[40];
    snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The command with the given keys for each field present.
std::string object(const Case &c, CommandKeys keys, const char *head)
{
    static constexpr CommandField SWEEP[] = {CommandField::FROM, CommandField::TO,
                                             CommandField::DURATION, CommandField::DWELL};
    const Num values[] = {c.a, c.b, c.c, c.d};
    std::string text = head;
    for (size_t i = 0; i < 4; i++) {
        if (!values[i] || (c.kind != CommandKind::StartSweep && i > 0) ||
            c.kind == CommandKind::CancelSweep)
            continue;
        const FieldLimit &l = COMMAND_LIMITS[static_cast<size_t>(
            c.kind == CommandKind::StartSweep ? SWEEP[i]
            : c.kind == CommandKind::Air      ? CommandField::AIR_PERIOD
                                              : CommandField::PERIOD)];
        text += std::string(",\"") + (keys == CommandKeys::Page ? l.page_key : l.key) +
                "\":" + number(*values[i]);
    }
    return text + "}";
}

std::string mqtt_message(const Case &c)
{
    return object(c, CommandKeys::Daemon,
                  ("{\"command\":" + std::to_string(static_cast<int>(c.kind))).c_str());
}

std::string page_message(const Case &c)
{
    static const char *const TYPES[] = {"", "period", "sweep", "cancel", "air"};
    return object(c, CommandKeys::Page,
                  (std::string("{\"type\":\"") + TYPES[static_cast<int>(c.kind)] + "\"").c_str());
}

// rfwatch-view's -a MS, --air-period MS or --sweep FROM-TO[,DURATION[,DWELL]].
std::string view_option(const Case &c)
{
    if (c.kind != CommandKind::StartSweep)
        return number(*c.a);
    std::string text = number(*c.a) + "-" + number(*c.b);
    for (const Num &v : {c.c, c.d})
        if (v)
            text += "," + number(*v);
    return text;
}

// What rfwatchd's sweep engine goes on to refuse, on a radio of either band
// it plans channels for.
bool engine_takes(const ParsedCommand &p)
{
    if (p.command != CMD_START_SWEEP)
        return true;
    if (p.dwell_ms < 5 || p.dwell_ms > 60000 ||
        static_cast<uint32_t>(p.duration_s) > MAX_SWEEP_DURATION_S)
        return false;
    static RadioControl rc{};
    for (Band band : {Band::Band2GHz, Band::Band5GHz}) {
        rc.band = band;
        if (plan_channels(rc, static_cast<uint32_t>(p.from_mhz), static_cast<uint32_t>(p.to_mhz)) ==
            RadioError::Success)
            return true;
    }
    return false;
}

constexpr auto PERIOD = CommandKind::SetAggregation;
constexpr auto SWEEP = CommandKind::StartSweep;
constexpr auto CANCEL = CommandKind::CancelSweep;
constexpr auto AIR = CommandKind::Air;
constexpr auto NONE = std::nullopt;

const Case CASES[] = {
    {PERIOD, 1, NONE, NONE, NONE, true, nullptr},
    {PERIOD, 2147483647, NONE, NONE, NONE, true, nullptr},
    {PERIOD, 0, NONE, NONE, NONE, false, nullptr},
    {PERIOD, -5, NONE, NONE, NONE, false, nullptr},
    {PERIOD, 2.5, NONE, NONE, NONE, false, "the daemon truncates to 2"},
    {PERIOD, 1e300, NONE, NONE, NONE, false, "the daemon clamps to INT32_MAX"},
    {PERIOD, NONE, NONE, NONE, NONE, false, nullptr},
    {CANCEL, NONE, NONE, NONE, NONE, true, nullptr},
    {SWEEP, 2412, 2472, NONE, NONE, true, nullptr},
    {SWEEP, 2412, 2472, 30, 200, true, nullptr},
    {SWEEP, 5170, 5250, 10, 100, true, nullptr},
    {SWEEP, 0, 2402, 0, 5, true, nullptr}, // touches the lowest channel's edge
    {SWEEP, 5895, 100000, 4294967, 60000, true, nullptr},
    {SWEEP, 2400, 7125, NONE, NONE, true, nullptr}, // the page's old range: both bands
    {SWEEP, 2472, 2412, NONE, NONE, false, nullptr},
    {SWEEP, 5180, 5180, NONE, NONE, false, nullptr}, // equal ends: the engine refuses
    {SWEEP, 2473, 5169, NONE, NONE, false, nullptr}, // between the bands: no channel
    {SWEEP, 5925, 7125, NONE, NONE, false, nullptr}, // 6 GHz: no channel planned
    {SWEEP, 0, 2401, NONE, NONE, false, nullptr},
    {SWEEP, -1, 2412, NONE, NONE, false, nullptr},
    {SWEEP, NONE, 2412, NONE, NONE, false, nullptr},
    {SWEEP, 2412, 2472, 4294968, NONE, false, nullptr}, // its ms overflow 32 bits
    {SWEEP, 2412, 2472, -1, NONE, false, nullptr},
    {SWEEP, 2412, 2472, 0, 4, false, nullptr},
    {SWEEP, 2412, 2472, 0, 60001, false, nullptr},
    {SWEEP, 2412, 2472, 0, 0, false, "the daemon dwells its default 1000 ms"},
    {SWEEP, 2412.5, 2472, NONE, NONE, false, "the daemon truncates to 2412"},
    {AIR, 1000, NONE, NONE, NONE, true, nullptr},
    {AIR, 0, NONE, NONE, NONE, true, nullptr}, // stops them
    {AIR, 100, NONE, NONE, NONE, true, nullptr},
    {AIR, 60000, NONE, NONE, NONE, true, nullptr},
    {AIR, 99, NONE, NONE, NONE, false, nullptr},
    {AIR, 1, NONE, NONE, NONE, false, nullptr},
    {AIR, 60001, NONE, NONE, NONE, false, nullptr},
    {AIR, -100, NONE, NONE, NONE, false, nullptr},
    {AIR, 250.5, NONE, NONE, NONE, false, nullptr},
    {AIR, NONE, NONE, NONE, NONE, false, nullptr},
};

// The daemon's record names the air period air_period_ms; until its parse
// knows command 4 there is nothing to compare, and the accepted rows fail
// above, loudly.
template <typename P> void expect_same_air_period(const P &q, const DaemonCommand &cmd)
{
    if constexpr (requires { q.air_period_ms; })
        EXPECT_EQ(q.air_period_ms, cmd.air_period_ms);
    else
        ADD_FAILURE() << "rfwatchd's ParsedCommand has no air_period_ms";
}

} // namespace

TEST(Command, EveryCompanionAgreesWithRfwatchd)
{
    for (const Case &c : CASES) {
        const std::string mqtt = mqtt_message(c), page = page_message(c);
        SCOPED_TRACE(mqtt);
        // rfwatch-mqtt: the object as published; the daemon gets its encoding.
        DaemonCommand cmd{};
        const CommandCheck mqtt_check = parse_command(mqtt, cmd);
        EXPECT_EQ(mqtt_check.error == CommandError::Ok, c.accepted)
            << command_error_text(mqtt_check, CommandKeys::Daemon);
        // rfwatch-web: the page's message.
        std::string page_json, page_error;
        EXPECT_EQ(page_command_to_json(page, page_json, page_error) == PageCommandResult::Ok,
                  c.accepted)
            << page << ": " << page_error;
        // rfwatch-view: its option, where it has one and the form fits.
        DaemonCommand view_cmd{};
        const bool has_option =
            c.kind != CANCEL && c.a && (c.kind != SWEEP || c.b) && !(c.d && !c.c);
        if (has_option) {
            EXPECT_EQ(command_from_option(c.kind, view_option(c).c_str(), view_cmd).error ==
                          CommandError::Ok,
                      c.accepted)
                << view_option(c);
        }

        ParsedCommand p{};
        const bool daemon_takes =
            parse_client_command(mqtt.c_str(), mqtt.size(), p) == COMMAND_OK && engine_takes(p);
        if (!c.accepted) {
            EXPECT_EQ(daemon_takes, c.stricter != nullptr) << (c.stricter ? c.stricter : "");
            EXPECT_EQ(page_json, "");
            continue;
        }
        // All three send the same text, which parses back to the same record.
        const std::string sent = encode_command(cmd);
        EXPECT_EQ(page_json, sent);
        if (has_option) {
            EXPECT_EQ(encode_command(view_cmd), sent);
        }
        DaemonCommand back{};
        EXPECT_EQ(parse_command(sent, back).error, CommandError::Ok);
        EXPECT_EQ(encode_command(back), sent);
        EXPECT_EQ(back.has_duration, cmd.has_duration);
        EXPECT_EQ(back.has_dwell, cmd.has_dwell);
        // And it means the same to the daemon (every row is checked, so each
        // the daemon refuses is named).
        ParsedCommand q{};
        if (!daemon_takes || parse_client_command(sent.c_str(), sent.size(), q) != COMMAND_OK) {
            ADD_FAILURE() << "rfwatchd does not take " << sent;
            continue;
        }
        EXPECT_EQ(static_cast<int>(q.command), static_cast<int>(cmd.kind));
        EXPECT_EQ(q.period_ms, p.period_ms);
        EXPECT_EQ(q.from_mhz, p.from_mhz);
        EXPECT_EQ(q.to_mhz, p.to_mhz);
        EXPECT_EQ(q.duration_s, p.duration_s);
        EXPECT_EQ(q.dwell_ms, p.dwell_ms);
        if (c.kind == AIR)
            expect_same_air_period(q, cmd);
    }
}

// What only an MQTT object can get wrong, and the texts a person reads.
TEST(Command, RefusalsOfTheObjectAndTheirTexts)
{
    const struct {
        const char *message;
        const char *error; // with rfwatchd's key names
    } cases[] = {
        {"", "not one JSON object"},
        {"[3]", "not one JSON object"},
        {R"({"command":3} x)", "text after the JSON object"},
        {R"({"command":3}{"command":1,"aggregation_period_ms":5})", "text after the JSON object"},
        {R"({"command":5})", "\"command\" must be 1, 2, 3 or 4"},
        {R"({"command":"3"})", "\"command\" must be 1, 2, 3 or 4"},
        {R"({"command":4})", "air_period_ms is missing"},
        {R"({"command":4,"air_period_ms":50})",
         "air_period_ms of 1 to 99 ms is too short (0 stops the air lines, 100 to 60000 ms "
         "starts them)"},
        {R"({"command":4,"air_period_ms":1000,"aggregation_period_ms":5})",
         "unknown key for this command"},
        {R"({"command":1,"aggregation_period_ms":100,"x":1})", "unknown key for this command"},
        {R"({"command":3,"sweep_from":1})", "unknown key for this command"},
        {R"({"command":1})", "aggregation_period_ms is missing"},
        {R"({"command":2,"sweep_from":2412,"sweep_to":2472,"dwell_time_ms":"fast"})",
         "dwell_time_ms must be 5 to 60000 ms"},
        {R"({"command":2,"sweep_from":2472,"sweep_to":2412})", "sweep_to must be above sweep_from"},
        {R"({"command":2,"sweep_from":6000,"sweep_to":7000})",
         "sweep: the range holds no channel rfwatchd sweeps (2402-2472, 5170-5895 MHz)"},
    };
    for (const auto &c : cases) {
        DaemonCommand cmd{};
        EXPECT_EQ(command_error_text(parse_command(c.message, cmd), CommandKeys::Daemon), c.error)
            << c.message;
    }
    DaemonCommand cmd{};
    const std::string big = R"({"command":3,"pad":")" + std::string(2000, 'x') + "\"}";
    EXPECT_EQ(command_error_text(parse_command(big, cmd), CommandKeys::Daemon),
              "longer than 1024 bytes");
    // The page names fields by its labels.
    EXPECT_EQ(
        command_error_text({CommandError::OutOfRange, CommandField::DURATION}, CommandKeys::Page),
        "sweep: duration must be 0 to 4294967 s");
    EXPECT_EQ(command_error_text({CommandError::Missing, CommandField::PERIOD}, CommandKeys::Page),
              "period is missing");
    EXPECT_EQ(
        command_error_text({CommandError::OutOfRange, CommandField::AIR_PERIOD}, CommandKeys::Page),
        "air period must be 0 to 60000 ms, not 1 to 99");
    for (const char *bad : {"10ms", "", "2412", "2412-", "2412-2472,", "2412-2472,1,2,3", "x-y"})
        EXPECT_EQ(command_from_option(CommandKind::StartSweep, bad, cmd).error,
                  CommandError::BadOption)
            << bad;
    EXPECT_EQ(command_from_option(CommandKind::SetAggregation, "250,1", cmd).error,
              CommandError::BadOption);
}
