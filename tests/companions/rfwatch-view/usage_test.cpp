// rfwatch-view's command line: numbers are taken whole or refused, so a
// typo never reaches the daemon as a command with a period of 0.
#include "fake_rfwatchd.h"
#include "subprocess.h"
#include "temp_dir.h"

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
