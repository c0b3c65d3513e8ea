// SPDX-License-Identifier: MIT
// The command line (listen address, when a token is required) and the
// bearer header check.
#include "options.h"
#include "token.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

using namespace airtally_exporter;

namespace
{

struct Parsed {
    CliResult status;
    ExporterOptions options;
    std::string message;
};

Parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "airtally-exporter");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed p{};
    p.status = options_parse(static_cast<int>(args.size()), argv.data(), p.options, p.message);
    return p;
}

} // namespace

TEST(ExporterOptions, DefaultsToLoopbackOnItsOwnPort)
{
    const Parsed p = parse({});
    EXPECT_EQ(p.status, CliResult::Run);
    EXPECT_EQ(p.options.access.address, "127.0.0.1");
    EXPECT_EQ(p.options.access.port, DEFAULT_PORT);
    EXPECT_NE(cli_usage(EXPORTER_CLI, "x").find("127.0.0.1:" + std::to_string(DEFAULT_PORT)),
              std::string::npos);
    EXPECT_EQ(parse({"--help"}).status, CliResult::Help);
}

TEST(ExporterOptions, BeyondLoopbackNeedsATokenOrNoAuth)
{
    EXPECT_EQ(parse({"-l", "127.0.0.5:1"}).status, CliResult::Run);
    EXPECT_EQ(parse({"-l", "[::1]:1"}).status, CliResult::Run);
    const Parsed open = parse({"-l", "10.0.2.15:1"});
    EXPECT_EQ(open.status, CliResult::Usage);
    EXPECT_NE(open.message.find("--token-file"), std::string::npos);
    EXPECT_EQ(parse({"-l", "0.0.0.0:1"}).status, CliResult::Usage);
    EXPECT_EQ(parse({"-l", "[::]:1"}).status, CliResult::Usage);
    EXPECT_EQ(parse({"-l", "10.0.2.15:1", "--token-file", "t"}).status, CliResult::Run);
    EXPECT_EQ(parse({"-l", "10.0.2.15:1", "--no-auth"}).status, CliResult::Run);
    EXPECT_EQ(parse({"--no-auth", "--token-file", "t"}).status, CliResult::Usage);
}

TEST(ExporterOptions, BadUsage)
{
    EXPECT_EQ(parse({"--bogus"}).status, CliResult::Usage);
    EXPECT_EQ(parse({"--bogus"}).message, "unknown option --bogus");
    EXPECT_EQ(parse({"-l"}).status, CliResult::Usage);
    EXPECT_EQ(parse({"-l", "x"}).status, CliResult::Usage);
    EXPECT_EQ(parse({"extra"}).status, CliResult::Usage);
}

// SOCKET[=RADIO] -> socket and radio; "" radio: refused.
TEST(ExporterOptions, RfwatchdSocketsAndRadioNames)
{
    const struct {
        std::vector<std::string> args;
        std::string socket, radio;
    } cases[] = {
        {{"--rfwatchd", "/run/rfwatchd/wlan0.sock"}, "/run/rfwatchd/wlan0.sock", "wlan0"},
        {{"--rfwatchd", "/run/a.sock=phy1"}, "/run/a.sock", "phy1"},
        {{"--rfwatchd", "/run/a=b/c.sock"}, "/run/a=b/c.sock", "c"}, // '=' in a directory
        {{"--rfwatchd", "/run/w 0.sock"}, "", ""},                   // no fleet name
        {{"--rfwatchd", "a.sock=x/y"}, "a.sock=x/y", "y"},           // '/' after '=': a path
        {{"--rfwatchd", "a.sock="}, "", ""},
        {{"--rfwatchd", "=r"}, "", ""},
        {{"--rfwatchd", "a.sock", "--rfwatchd", "b.sock=a"}, "", ""}, // one radio twice
        {{"--rfwatchd", "a.sock", "--air-period-ms", "99"}, "", ""},
    };
    for (const auto &c : cases) {
        const Parsed p = parse(c.args);
        EXPECT_EQ(p.status, c.radio.empty() ? CliResult::Usage : CliResult::Run) << c.args[1];
        if (c.radio.empty())
            continue;
        ASSERT_EQ(p.options.daemons.size(), 1u);
        EXPECT_EQ(p.options.daemons[0].socket_path, c.socket);
        EXPECT_EQ(p.options.daemons[0].radio, c.radio);
    }
    EXPECT_EQ(parse({"--air-period-ms", "250"}).options.air_period_ms, 250);
    EXPECT_EQ(parse({}).options.air_period_ms, 1000);
}

TEST(Token, BearerHeader)
{
    EXPECT_TRUE(bearer_accepted("Bearer abc", "abc"));
    EXPECT_TRUE(bearer_accepted("bearer abc", "abc"));
    EXPECT_TRUE(bearer_accepted("BEARER   abc ", "abc"));
    EXPECT_FALSE(bearer_accepted("Bearer abd", "abc"));
    EXPECT_FALSE(bearer_accepted("Bearer abcd", "abc"));
    EXPECT_FALSE(bearer_accepted("Bearer ab", "abc"));
    EXPECT_FALSE(bearer_accepted("Basic abc", "abc"));
    EXPECT_FALSE(bearer_accepted("abc", "abc"));
    EXPECT_FALSE(bearer_accepted("", "abc"));
    EXPECT_FALSE(bearer_accepted("Bearer ", "abc"));
}
