// SPDX-License-Identifier: MIT
// The command line is what operators and init scripts depend on: which
// values are taken, which are refused, and where each message goes.
#include "core/options.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

struct Parsed {
    ParseOutcome outcome;
    ServerOptions opts;
    std::string out, err;
};

Parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "rfwatchd");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    char *out_buf = nullptr, *err_buf = nullptr;
    size_t out_len = 0, err_len = 0;
    FILE *out = open_memstream(&out_buf, &out_len);
    FILE *err = open_memstream(&err_buf, &err_len);
    Parsed p{};
    p.outcome = parse_command_line(static_cast<int>(args.size()), argv.data(), p.opts, out, err);
    fclose(out);
    fclose(err);
    p.out = out_buf;
    p.err = err_buf;
    free(out_buf);
    free(err_buf);
    // The names point into args; keep only what the tests read.
    p.opts.monitor = nullptr;
    p.opts.socket_path = nullptr;
    return p;
}

bool is_help(const std::string &text)
{
    return text.find("Usage: rfwatchd [OPTIONS]\nSpectral data streaming daemon\n\nOptions:\n") !=
               std::string::npos &&
           text.find("  rfwatchd --monitor wlan1.mon --interfaces wlan1.sta,wlan1.ap\n") !=
               std::string::npos;
}

} // namespace

TEST(Options, DefaultsAndRepeatedValues)
{
    std::vector<std::string> args = {"rfwatchd", "-m", "a",  "-m",    "mon0",
                                     "-s",       "x",  "-s", "y.sock"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    ServerOptions o{};
    FILE *null = fopen("/dev/null", "w");
    ASSERT_EQ(parse_command_line(static_cast<int>(args.size()), argv.data(), o, null, null),
              PARSE_RUN);
    EXPECT_STREQ(o.monitor, "mon0");
    EXPECT_STREQ(o.socket_path, "y.sock");
    EXPECT_EQ(o.bin_count, 0);
    EXPECT_EQ(o.primary_count, 0);
    EXPECT_EQ(o.whole_band, 0);

    args = {"rfwatchd", "-m", "mon0"};
    argv.clear();
    for (auto &a : args)
        argv.push_back(a.data());
    ASSERT_EQ(parse_command_line(3, argv.data(), o, null, null), PARSE_RUN);
    EXPECT_STREQ(o.socket_path, "rfwatchd.sock");
    fclose(null);
}

TEST(Options, HelpAndVersionActAtOnce)
{
    Parsed p = parse({"-b", "64", "-h", "-b", "3"});
    EXPECT_EQ(p.outcome, PARSE_EXIT_OK);
    EXPECT_TRUE(is_help(p.out)) << p.out;
    EXPECT_EQ(p.err, "");

    p = parse({"-b", "3", "-h"});
    EXPECT_EQ(p.outcome, PARSE_EXIT_FAIL);
    EXPECT_EQ(p.out.rfind("Invalid number of bins.\nUsage: rfwatchd [OPTIONS]\n", 0), 0u) << p.out;

    p = parse({"--version", "--bogus"});
    EXPECT_EQ(p.outcome, PARSE_EXIT_OK);
    EXPECT_EQ(p.out.rfind("rfwatchd version ", 0), 0u) << p.out;
    EXPECT_NE(p.out.find("\nGit commit: "), std::string::npos);
    EXPECT_NE(p.out.find(" UTC\n\nSpectral data streaming daemon for WiFi spectrum analysis\n"),
              std::string::npos)
        << p.out;
}

TEST(Options, HelpTextLines)
{
    Parsed p = parse({"-h"});
    const char *lines[] = {
        "  -m, --monitor        INTERFACE   Monitor interface (required)\n",
        "  -b, --spectral-bins              Override how many bins should be set for hardware to "
        "capture,\n                                   between 4 and 512. Must be: 2^x * 4 = bins "
        "(default: 0 <auto>)\n",
        "  -s  --socket                     Path of the socket file to create (default: "
        "rfwatchd.sock)\n",
        "  -h, --help                       Show this help message\n\nExamples:\n  rfwatchd -m "
        "wlan0.mon -b 64\n",
    };
    for (const char *l : lines)
        EXPECT_NE(p.out.find(l), std::string::npos) << l;
}

TEST(Options, BinCountsAreMultiplesOfEightUpTo512)
{
    for (long ok : {0L, 8L, 16L, 24L, 64L, 504L, 512L})
        EXPECT_TRUE(bin_count_allowed(ok)) << ok;
    for (long bad : {4L, 12L, 3L, 520L, -8L, 1024L})
        EXPECT_FALSE(bin_count_allowed(bad)) << bad;

    EXPECT_EQ(parse({"-m", "m", "-b", "24"}).opts.bin_count, 24);
    EXPECT_EQ(parse({"-m", "m", "-b", " +64abc"}).opts.bin_count, 64); // leading-number parse
    Parsed p = parse({"-m", "m", "-b", "many"});
    EXPECT_EQ(p.outcome, PARSE_RUN); // reads as 0: automatic
    EXPECT_EQ(p.opts.bin_count, 0);
    p = parse({"-m", "m", "--num-bins", "12"});
    EXPECT_EQ(p.outcome, PARSE_EXIT_FAIL);
    EXPECT_TRUE(is_help(p.out));
    EXPECT_EQ(parse({"-m", "m", "-b", "99999999999"}).outcome, PARSE_EXIT_FAIL);
}

TEST(Options, InterfacesAreSplitAndCounted)
{
    Parsed p = parse({"-m", "m", "-i", "wlan0,wlan1", "--interfaces", "wlan2"});
    ASSERT_EQ(p.opts.primary_count, 3);
    EXPECT_STREQ(p.opts.primaries[0], "wlan0");
    EXPECT_STREQ(p.opts.primaries[1], "wlan1");
    EXPECT_STREQ(p.opts.primaries[2], "wlan2");

    p = parse({"-m", "m", "-i", "  ap0, sta0,"});
    ASSERT_EQ(p.opts.primary_count, 3);
    EXPECT_STREQ(p.opts.primaries[0], "ap0");
    EXPECT_STREQ(p.opts.primaries[1], " sta0"); // blanks after a comma belong to the name
    EXPECT_STREQ(p.opts.primaries[2], "");

    EXPECT_EQ(parse({"-m", "m", "-i", "   "}).opts.primary_count, 0);
    EXPECT_EQ(parse({"-m", "m", "-i", ""}).opts.primary_count, 0);
    EXPECT_EQ(parse({"-m", "m", "-i", ",,"}).opts.primary_count, 3);

    // Nine names are all counted (the set-up refuses them) but only eight kept.
    p = parse({"-m", "m", "-i", "a,b,c,d,e,f,g,h", "-i", "i9"});
    EXPECT_EQ(p.outcome, PARSE_RUN);
    EXPECT_EQ(p.opts.primary_count, 9);
    EXPECT_STREQ(p.opts.primaries[7], "h");
}

TEST(Options, InterfaceNamesThatCannotFitAreRefused)
{
    Parsed p = parse({"-m", "m", "-i", "ap0,abcdefghijklmno"}); // 15 characters fit
    EXPECT_EQ(p.outcome, PARSE_RUN);
    EXPECT_STREQ(p.opts.primaries[1], "abcdefghijklmno");

    p = parse({"-m", "m", "-i", "ap0,abcdefghijklmnop"}); // 16 do not
    EXPECT_EQ(p.outcome, PARSE_EXIT_FAIL);
    EXPECT_EQ(p.out.rfind("Invalid interfaces argument.\nUsage: ", 0), 0u) << p.out;
}

TEST(Options, AgileScanRangesAndAll)
{
    Parsed a = parse({"-m", "m", "-S", "5200-5300"});
    Parsed b = parse({"-m", "m", "--agile-scan", "  5200 - 5300"});
    for (const Parsed *p : {&a, &b}) {
        EXPECT_EQ(p->outcome, PARSE_RUN);
        EXPECT_EQ(p->opts.background_start, 5200);
        EXPECT_EQ(p->opts.background_end, 5300);
        EXPECT_EQ(p->opts.whole_band, 0);
    }
    Parsed all = parse({"-m", "m", "-S", " all", "-S", "2400-2500"});
    EXPECT_EQ(all.opts.whole_band, 1); // stays set
    EXPECT_EQ(all.opts.background_start, 2400);

    for (const char *bad : {"", "   ", "5200", "all5200", "ALL"}) {
        Parsed p = parse({"-m", "m", "-S", bad});
        EXPECT_EQ(p.outcome, PARSE_EXIT_FAIL) << '"' << bad << '"';
        EXPECT_EQ(p.out.rfind("Invalid agile-scan argument.\nUsage: ", 0), 0u) << p.out;
    }
}

TEST(Options, HelpTextLongNamesAreAcceptedBesideTheOldOnes)
{
    // Each long name does what its short option does.
    const std::vector<std::string> same[][2] = {
        {{"-m", "m", "-b", "64"}, {"-m", "m", "--spectral-bins", "64"}},
        {{"-m", "m", "-b", "64"}, {"-m", "m", "--num-bins", "64"}},
        {{"-m", "m", "-S", "5200-5300"}, {"-m", "m", "--agile-sweep", "5200-5300"}},
        {{"-m", "m", "-S", "all"}, {"-m", "m", "--agile-scan", "all"}},
    };
    for (const auto &pair : same) {
        Parsed a = parse(pair[0]), b = parse(pair[1]);
        const std::string &name = pair[1][2];
        EXPECT_EQ(b.outcome, PARSE_RUN) << name;
        EXPECT_EQ(b.opts.bin_count, a.opts.bin_count) << name;
        EXPECT_EQ(b.opts.background_start, a.opts.background_start) << name;
        EXPECT_EQ(b.opts.background_end, a.opts.background_end) << name;
        EXPECT_EQ(b.opts.whole_band, a.opts.whole_band) << name;
    }
    EXPECT_EQ(parse({"-m", "m", "extra"}).outcome, PARSE_RUN); // positionals are not used
    EXPECT_EQ(parse({"-m"}).outcome, PARSE_EXIT_FAIL);
}

TEST(Options, MonitorIsRequired)
{
    Parsed p = parse({"-b", "64"});
    EXPECT_EQ(p.outcome, PARSE_EXIT_FAIL);
    EXPECT_EQ(p.err, "Error: Monitor interface (-m) is required\n");
    EXPECT_TRUE(is_help(p.out));
}

TEST(Options, AirMarginIsOneToFortyDecibelsWithOneDecimalAtMost)
{
    EXPECT_EQ(parse({"-m", "m"}).opts.air_margin_db, 10.0f); // the default
    const struct {
        const char *arg;
        float db; // 0: refused
    } cases[] = {
        {"1", 1.0f}, {"40", 40.0f}, {"12.5", 12.5f}, {"040", 40.0f}, {"1.0", 1.0f},
        {"0.9", 0},  {"0", 0},      {"40.1", 0},     {"41", 0},      {"12.25", 0},
        {"12.", 0},  {".5", 0},     {" 12", 0},      {"12 ", 0},     {"-5", 0},
        {"+5", 0},   {"1e1", 0},    {"", 0},         {"0400", 0},    {"abc", 0},
    };
    for (const auto &c : cases) {
        Parsed p = parse({"-m", "m", "--air-margin", c.arg});
        if (c.db == 0) {
            EXPECT_EQ(p.outcome, PARSE_EXIT_FAIL) << '"' << c.arg << '"';
            EXPECT_EQ(p.out.rfind("Invalid air-margin argument.\nUsage: ", 0), 0u) << p.out;
        } else {
            EXPECT_EQ(p.outcome, PARSE_RUN) << c.arg;
            EXPECT_EQ(p.opts.air_margin_db, c.db) << c.arg;
        }
    }
    EXPECT_NE(parse({"-h"}).out.find("      --air-margin     DB          Busy threshold"),
              std::string::npos);
}
