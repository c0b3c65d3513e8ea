// SPDX-License-Identifier: MIT
// rfwatch-view's command line: numbers are taken whole or refused, so a
// typo never reaches the daemon as a command with a period of 0.
#include "fake_rfwatchd.h"
#include "spectrum_line.h"
#include "subprocess.h"
#include "temp_dir.h"
#include "air_line_text.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(RfwatchViewUsage, BadNumbersAreRefusedBeforeConnecting)
{
    const wdtest::TempDir dir("rfwatch-view-usage");
    const std::string sock = dir.path() + "/d.sock";
    wdtest::FakeRfwatchd daemon;
    ASSERT_TRUE(daemon.start(sock));
    struct Case {
        std::vector<std::string> args;
        const char *says;
    };
    const Case bad[] = {
        {{"-a", "abc"}, "--aggregation"},
        {{"-a", "0"}, "--aggregation"},
        {{"-a", "10ms"}, "--aggregation"},
        {{"-a", "2.5"}, "--aggregation"},
        {{"-t", "soon"}, "--time"},
        {{"-g", "60001"}, "--gap"},
        {{"--air-period", "50"}, "--air-period"},
    };
    for (const Case &c : bad) {
        std::vector<std::string> argv = {RFWATCH_VIEW_BIN, "-s", sock, "--lines"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = wdtest::run(argv);
        EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.args[1];
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // A good period reaches the daemon as given.
    const auto ok =
        wdtest::run({RFWATCH_VIEW_BIN, "-s", sock, "--lines", "-a", "250", "-t", "0.5"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    ASSERT_TRUE(daemon.wait_commands(1, 20000));
    EXPECT_EQ(daemon.commands(),
              std::vector<std::string>{R"({"command":1,"aggregation_period_ms":250})"})
        << "a refused command line still sent something";
}

// The summary asks for air lines after the command line's commands and
// shows them; an air line among the spectrum lines is no error. --air-period
// 0 (and --lines) ask for none.
TEST(RfwatchViewUsage, AirLinesAskedForAndShown)
{
    const wdtest::TempDir dir("rfwatch-view-air");
    const std::string sock = dir.path() + "/d.sock";
    wdtest::FakeRfwatchd daemon;
    wdtest::AirLineText air;
    air.channels = {{6, 2437, 0.12, 95}};
    air.signals = {{"microwave", 2450, 12, -50, 0.498, 0.9, 1, 5, 20, 0, 0}};
    daemon.repeat({wdtest::spectrum_line({.bins = wdtest::ramp_bins(64)}), wdtest::air_line(air)},
                  100);
    ASSERT_TRUE(daemon.start(sock));
    const auto asked = wdtest::run({RFWATCH_VIEW_BIN, "-s", sock, "-a", "250", "-t", "2.5"});
    EXPECT_EQ(asked.status, 0) << asked.err;
    EXPECT_NE(asked.out.find("\n  air: ch 6 12% q 95 \u00b7 microwave 2450 MHz -50 dBm 50% (20.0 ms)\n"),
              std::string::npos)
        << asked.out;
    EXPECT_EQ(asked.out.find("not understood"), std::string::npos) << asked.out;
    for (const auto &args : {std::vector<std::string>{"--air-period", "0", "-t", "0.5"},
                             std::vector<std::string>{"--lines", "-t", "0.5"}}) {
        std::vector<std::string> argv = {RFWATCH_VIEW_BIN, "-s", sock};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = wdtest::run(argv);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("air:"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("?"), std::string::npos) << r.out;
    }
    EXPECT_EQ(daemon.commands(),
              (std::vector<std::string>{R"({"command":1,"aggregation_period_ms":250})",
                                        R"({"command":4,"air_period_ms":1000})"}));
}
