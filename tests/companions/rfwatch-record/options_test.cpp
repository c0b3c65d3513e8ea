// SPDX-License-Identifier: MIT
// The command line: what each mode takes, the defaults it fills in, and one
// clear refusal for each combination that cannot work.
#include "options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

CliResult parse(std::vector<const char *> args, RecordOptions &o, std::string &error)
{
    args.insert(args.begin(), "rfwatch-record");
    args.push_back(nullptr);
    return parse_options(static_cast<int>(args.size() - 1), const_cast<char **>(args.data()), o,
                         error);
}

} // namespace

TEST(Options, GoodLinesAndTheirDefaults)
{
    struct Case {
        std::vector<const char *> args;
        RecordMode mode;
        const char *radio;
        uint64_t max_size;
        int air_period_ms;
    };
    const Case cases[] = {
        {{"-s", "/run/rfwatchd/wlan1.sock", "-o", "f"}, RecordMode::File, "wlan1", 64 << 20, 0},
        {{"-o", "f", "--air"}, RecordMode::File, "rfwatchd", 64 << 20, 1000},
        {{"-o", "f", "--air", "--air-period-ms", "250", "--radio", "r5", "--max-size", "131072"},
         RecordMode::File,
         "r5",
         131072,
         250},
        {{"--ring", "30", "-o", "d", "--below", "40"}, RecordMode::Ring, "rfwatchd", 16 << 20, 0},
        {{"--mqtt", "mqtts://u@b", "--topic", "wifidiag/ap1/wlan2", "-o", "f", "--cafile", "/ca",
          "--password-file", "/p"},
         RecordMode::File,
         "wlan2",
         64 << 20,
         0},
        {{"--export", "csv", "in.rfwrec", "-"}, RecordMode::Export, "", 64 << 20, 0},
    };
    for (const Case &c : cases) {
        RecordOptions o;
        std::string error;
        ASSERT_EQ(parse(c.args, o, error), CliResult::Run) << c.args[1] << ": " << error;
        EXPECT_EQ(o.mode, c.mode) << c.args[1];
        if (c.mode != RecordMode::Export) {
            EXPECT_EQ(o.radio, c.radio) << c.args[1];
        }
        EXPECT_EQ(o.max_size, c.max_size) << c.args[1];
        EXPECT_EQ(o.air_period_ms, c.air_period_ms) << c.args[1];
    }
    RecordOptions o;
    std::string error;
    ASSERT_EQ(parse({"--export", "sigmf", "in.rfwrec", "out"}, o, error), CliResult::Run);
    EXPECT_EQ(o.export_kind, ExportKind::Sigmf);
    EXPECT_EQ(o.export_in, "in.rfwrec");
    EXPECT_EQ(o.export_out, "out");
}

TEST(Options, RefusedWithTheReason)
{
    struct Case {
        std::vector<const char *> args;
        const char *reason; // a piece of the error
    };
    const Case cases[] = {
        {{"-s", "x.sock"}, "-o FILE"},
        {{"-o", "f", "--below", "40"}, "--below goes with --ring"},
        {{"-o", "f", "--air-period-ms", "500"}, "--air-period-ms goes with --air"},
        {{"-o", "f", "--air", "--air-period-ms", "50"}, "--air-period-ms takes 100"},
        {{"-o", "f", "-s", "x.sock", "--mqtt", "mqtt://b", "--topic", "p/n/r"}, "two sources"},
        {{"-o", "f", "--mqtt", "mqtt://b"}, "--mqtt needs --topic"},
        {{"-o", "f", "--topic", "p/n/r"}, "--topic goes with --mqtt"},
        {{"-o", "f", "--mqtt", "mqtt://b", "--topic", "p/n"}, "P/NODE/RADIO"},
        {{"-o", "f", "--mqtt", "mqtt://b", "--topic", "p/n/r+"}, "P/NODE/RADIO"},
        {{"-o", "f", "--mqtt", "mqtt://b", "--topic", "p/n/r", "--period-ms", "100"},
         "not with --mqtt"},
        {{"-o", "f", "--cafile", "/ca"}, "go with --mqtt"},
        {{"-o", "f", "--mqtt", "mqtt://b", "--topic", "p/n/r", "--cafile", "/ca"}, "mqtts://"},
        {{"-o", "f", "--mqtt", "mqtt://b", "--topic", "p/n/r", "--password-file", "/p"},
         "a user in the URL"},
        {{"-o", "f", "--mqtt", "ftp://b", "--topic", "p/n/r"}, ""},
        {{"-o", "f", "--driver", "ath9k"}, "ath10k or ath11k"},
        {{"-o", "f", "--radio", "a b"}, "--radio must be"},
        {{"-o", "f", "--max-size", "1000"}, "--max-size takes 131072"},
        {{"-o", "f", "stray"}, "unexpected argument stray"},
        {{"--export", "csv", "in"}, "needs IN and OUT"},
        {{"--export", "csv", "in", "out", "more"}, "unexpected argument more"},
        {{"--export", "xml", "in", "out"}, "csv or sigmf"},
        {{"--export", "csv", "-o", "f", "in", "out"}, "no other option"},
    };
    for (const Case &c : cases) {
        RecordOptions o;
        std::string error;
        EXPECT_EQ(parse(c.args, o, error), CliResult::Usage) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_FALSE(error.empty()) << c.reason;
    }
}
