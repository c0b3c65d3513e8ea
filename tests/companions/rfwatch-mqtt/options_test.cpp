// SPDX-License-Identifier: MIT
// The command line: broker URLs, defaults, topics, and what is refused.
#include "options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

CliResult parse(std::vector<const char *> args, MqttOptions &o, std::string &error)
{
    args.insert(args.begin(), "rfwatch-mqtt");
    args.push_back(nullptr);
    return parse_options(static_cast<int>(args.size() - 1), const_cast<char **>(args.data()), o,
                         error);
}

} // namespace

TEST(Options, DefaultsAndTopics)
{
    MqttOptions o;
    std::string error;
    ASSERT_EQ(parse({"-s", "/run/rfwatchd/wlan1.sock", "-b", "mqtt://b"}, o, error), CliResult::Run)
        << error;
    EXPECT_EQ(o.radio, "wlan1");
    EXPECT_EQ(o.prefix, "wifidiag");
    EXPECT_FALSE(o.node.empty());
    EXPECT_EQ(o.node.find('.'), std::string::npos);
    EXPECT_EQ(o.max_queue, 1000u);
    EXPECT_EQ(o.qos, 0);
    EXPECT_EQ(o.format, PayloadFormat::Json);
    EXPECT_EQ(o.period_ms, 0);
    EXPECT_EQ(o.air_period_ms, 1000);
    EXPECT_FALSE(o.commands);
    EXPECT_EQ(o.client_id, "rfwatch-mqtt-" + o.node + "-wlan1");

    ASSERT_EQ(parse({"--socket=rfwatchd.sock",
                     "--broker",
                     "mqtts://u@b",
                     "--node",
                     "ap3",
                     "--prefix",
                     "site/floor2",
                     "--period-ms",
                     "1000",
                     "--format",
                     "compact",
                     "--qos",
                     "1",
                     "--commands",
                     "--password-file",
                     "/p",
                     "--cafile",
                     "/ca",
                     "--cert",
                     "/c",
                     "--key",
                     "/k",
                     "--client-id",
                     "x",
                     "--max-queue",
                     "5",
                     "--air-period-ms",
                     "0"},
                    o, error),
              CliResult::Run)
        << error;
    EXPECT_EQ(o.radio, "rfwatchd");
    EXPECT_EQ(o.period_ms, 1000);
    EXPECT_EQ(o.format, PayloadFormat::Compact);
    EXPECT_EQ(o.qos, 1);
    EXPECT_TRUE(o.commands);
    EXPECT_EQ(o.client_id, "x");
    EXPECT_EQ(o.max_queue, 5u);
    EXPECT_EQ(o.air_period_ms, 0);
    EXPECT_EQ(o.node, "ap3");
    EXPECT_EQ(o.prefix, "site/floor2");

    EXPECT_EQ(parse({"--help"}, o, error), CliResult::Help);
}

TEST(Options, Refused)
{
    const std::vector<std::vector<const char *>> bad = {
        {"-b", "mqtt://b"},                                          // no socket
        {"-s", "s.sock"},                                            // no broker
        {"-s", "s.sock", "-b", "mqtt://b", "--qos", "2"},            // QoS 2 not offered
        {"-s", "s.sock", "-b", "mqtt://b", "--format", "xml"},       //
        {"-s", "s.sock", "-b", "mqtt://b", "--period-ms", "0"},      //
        {"-s", "s.sock", "-b", "mqtt://b", "--max-queue", "0"},      //
        {"-s", "s.sock", "-b", "mqtt://b", "--air-period-ms", "99"}, // rfwatchd would ignore it
        {"-s", "s.sock", "-b", "mqtt://b", "--air-period-ms", "60001"},
        {"-s", "s.sock", "-b", "mqtt://b", "--node", "a/b"},         // would shift the levels
        {"-s", "s.sock", "-b", "mqtt://b", "--radio", "wl+"},        // a wildcard
        {"-s", "s.sock", "-b", "mqtt://b", "--node", "ap 1"},        // the page could not list it
        {"-s", "s.sock", "-b", "mqtt://b", "--radio", "w\"0"},       //
        {"-s", "s.sock", "-b", "mqtt://b", "--node", "\xc3\xa9"},    //
        {"-s", "s.sock", "-b", "mqtt://b", "--prefix", "a//b"},      //
        {"-s", "s.sock", "-b", "mqtt://b", "--prefix", "#"},         //
        {"-s", "s.sock", "-b", "mqtt://b", "--cafile", "/ca"},       // TLS options without TLS
        {"-s", "s.sock", "-b", "mqtts://b", "--key", "/k"},          // key without certificate
        {"-s", "s.sock", "-b", "mqtt://b", "--password-file", "/p"}, // password without user
        {"-s", "/run/rfwatchd/", "-b", "mqtt://b"},                  // no radio name to be had
    };
    for (const auto &args : bad) {
        MqttOptions o;
        std::string error;
        EXPECT_EQ(parse(args, o, error), CliResult::Usage) << args.back();
        EXPECT_FALSE(error.empty()) << args.back();
    }
}

TEST(Options, RadioFromSocket)
{
    EXPECT_EQ(radio_from_socket("/run/rfwatchd/wlan0.sock"), "wlan0");
    EXPECT_EQ(radio_from_socket("phy1"), "phy1");
    EXPECT_EQ(radio_from_socket("a.b/c.d.sock"), "c.d");
    EXPECT_EQ(radio_from_socket("/run/.hidden"), ".hidden");
}
