// SPDX-License-Identifier: MIT
// The real rfwatchd binary up to the point where it needs a wireless phy:
// exit statuses, which stream each message uses, the socket file, and the
// refusals of the discovery step.
#include "namespaces.h"
#include "subprocess.h"
#include "temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using wdtest::Outcome;
using wdtest::run;

namespace
{

const std::string bin = RFWATCHD_BIN;

Outcome rfwatchd(std::vector<std::string> args)
{
    args.insert(args.begin(), bin);
    return run(args, {}, 10000);
}

bool has(const std::string &text, const std::string &needle)
{
    return text.find(needle) != std::string::npos;
}

std::string help_start()
{
    return "Usage: " + bin + " [OPTIONS]\nSpectral data streaming daemon\n";
}

class TempDir : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = tmp.path();
        ASSERT_FALSE(dir.empty());
    }
    wdtest::TempDir tmp{"rfwatchd-bin"};
    std::string dir;
};

} // namespace

TEST(Binary, LinksNetlinkCjsonAndLibmOnly)
{
#ifdef WD_SANITIZED
    GTEST_SKIP() << "SKIPPED: this build links the sanitizer runtimes into every program";
#endif
    Outcome o = run({READELF_BIN, "-d", bin});
    ASSERT_EQ(o.status, 0) << o.err;
    std::set<std::string> needed;
    std::istringstream lines(o.out);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find("Shared library: [");
        if (at != std::string::npos) {
            std::string name = line.substr(at + 17);
            needed.insert(name.substr(0, name.find(".so")));
        }
    }
    // libm only while the daemon calls into it (the decoder no longer does).
    needed.erase("libm");
    EXPECT_EQ(needed, (std::set<std::string>{"libc", "libcjson", "libnl-3", "libnl-genl-3"}));
}

TEST(Binary, HelpAndVersionGoToStandardOutputWithStatusZero)
{
    Outcome o = rfwatchd({"-h"});
    ASSERT_TRUE(o.exited);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.rfind(help_start(), 0), 0u) << o.out;
    EXPECT_TRUE(has(o.out, "  " + bin + " --monitor wlan1.mon --interfaces wlan1.sta,wlan1.ap\n"));
    EXPECT_EQ(o.err, "");

    o = rfwatchd({"--version"});
    EXPECT_EQ(o.status, 0);
    std::istringstream lines(o.out);
    std::string l1, l2, l3, l4, l5;
    std::getline(lines, l1);
    std::getline(lines, l2);
    std::getline(lines, l3);
    std::getline(lines, l4);
    std::getline(lines, l5);
    EXPECT_EQ(l1.rfind(bin + " version ", 0), 0u) << o.out;
    EXPECT_EQ(l2.rfind("Git commit: ", 0), 0u) << o.out;
    EXPECT_GT(l2.size(), 12u);
    EXPECT_EQ(l3.rfind("Build date: ", 0), 0u) << o.out;
    EXPECT_EQ(l3.substr(l3.size() - 4), " UTC");
    EXPECT_EQ(l4, "");
    EXPECT_EQ(l5, "Spectral data streaming daemon for WiFi spectrum analysis");
}

TEST(Binary, RefusalsPrintTheHelpAndExitOne)
{
    struct Case {
        std::vector<std::string> args;
        std::string out_first; // first line on standard output
        std::string err_part;  // expected on standard error
    } cases[] = {
        {{"-m", "mon0", "-b", "3", "-h"}, "Invalid number of bins.", ""},
        {{"-m", "mon0", "-b", "520"}, "Invalid number of bins.", ""},
        {{"-m", "mon0", "-S", "   "}, "Invalid agile-scan argument.", ""},
        {{"-m", "mon0", "-S", "5200"}, "Invalid agile-scan argument.", ""},
        {{"-m", "mon0", "-i", "averyverylongname0"}, "Invalid interfaces argument.", ""},
        {{"-m", "mon0", "--agile-sweep", "5200"}, "Invalid agile-scan argument.", ""},
        {{"-m", "mon0", "--spectral-bins", "3"}, "Invalid number of bins.", ""},
        {{"-m", "mon0", "--agile-sweeps", "all"},
         "Usage: " + bin + " [OPTIONS]",
         "unrecognized option"},
        {{"-m"}, "Usage: " + bin + " [OPTIONS]", "requires an argument"},
        {{"-b", "64"},
         "Usage: " + bin + " [OPTIONS]",
         "Error: Monitor interface (-m) is required\n"},
    };
    for (const Case &c : cases) {
        Outcome o = rfwatchd(c.args);
        std::string what = c.args.back();
        ASSERT_TRUE(o.exited) << what;
        EXPECT_EQ(o.status, 1) << what;
        EXPECT_EQ(o.out.substr(0, o.out.find('\n')), c.out_first) << what;
        EXPECT_TRUE(has(o.out, help_start())) << what;
        if (c.err_part.empty())
            EXPECT_EQ(o.err, "") << what;
        else
            EXPECT_TRUE(has(o.err, c.err_part)) << what << ": " << o.err;
    }
}

TEST_F(TempDir, SocketPathLimitAndStaleFile)
{
    std::string too_long = dir + "/" + std::string(108 - dir.size() - 1, 's');
    Outcome o = rfwatchd({"-m", "nosuch0", "-s", too_long});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Socket path is too long: " + too_long + "\nFailed to get socket\n");
    EXPECT_EQ(access(too_long.c_str(), F_OK), -1);

    // 107 characters are used; a stale socket there is replaced.
    std::string path = too_long.substr(0, 107);
    std::string why;
    ASSERT_TRUE(wdtest::leave_stale_socket(path, &why)) << why;
    o = rfwatchd({"-m", "nosuch0", "-s", path});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "Starting rfwatchd with monitor interface: nosuch0\n")) << o.err;
    struct stat st {
    };
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
}

TEST_F(TempDir, DiscoveryRefusalsEndWithTheTroubleshootingTips)
{
    const std::string sock = dir + "/r.sock";
    const std::string tips = "Troubleshooting tips:\n"
                             "  - Verify interface exists: ip link show MON\n"
                             "  - Check interface is in monitor mode: iw dev MON info\n"
                             "  - Ensure debugfs is mounted: mount | grep debugfs\n"
                             "  - Verify spectral capability: ls "
                             "/sys/kernel/debug/ieee80211/phy*/*/spectral_*\n";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-m", "mon0", "-i", "a,b,c,d,e,f,g,h,i"}, "Number of configured primaries exceeds 8\n"},
        {{"-m", "abcdefghijklmnop"}, "Monitor interface name (abcdefghijklmnop) is too long\n"},
        {{"-m", "mon0", "-S", "5300-5200"},
         "Background sweep range invalid: start 5300, end 5200\n"},
        {{"-m", "nosuch0"},
         "Failed to discover interface 'nosuch0': Monitor interface not found\n"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-s", sock});
        Outcome o = rfwatchd(args);
        EXPECT_EQ(o.status, 1) << c.message;
        EXPECT_EQ(o.out, "");
        std::string mon = c.args[1];
        std::string expected_tips = tips;
        for (size_t at; (at = expected_tips.find("MON")) != std::string::npos;)
            expected_tips.replace(at, 3, mon);
        EXPECT_TRUE(has(o.err, c.message)) << o.err;
        EXPECT_TRUE(has(o.err, c.message + "Failed to initialize server for interface '" + mon +
                                   "'\n" + expected_tips))
            << o.err;
        EXPECT_EQ(o.err.rfind("Starting rfwatchd with monitor interface: " + mon + "\n", 0), 0u);
    }
    // Eight primaries pass the count (and fail later, at the unknown monitor).
    Outcome o = rfwatchd({"-m", "nosuch0", "-i", "a,b,c,d,e,f,g,h", "-s", sock});
    EXPECT_FALSE(has(o.err, "exceeds"));
    EXPECT_TRUE(has(o.err, "Failed to discover interface 'nosuch0'"));
}

TEST_F(TempDir, VersionOutsideAGitCheckoutSaysSo)
{
    std::string out = dir + "/version_info.cpp";
    Outcome o =
        run({CMAKE_BIN, "-DSRC=" + dir, "-DOUT=" + out, "-DVERSION=9.9.9", "-P", VERSION_SCRIPT},
            {}, 20000);
    ASSERT_EQ(o.status, 0) << o.err;
    std::ifstream f(out);
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_TRUE(has(text.str(), "rfwatchd_commit = \"unknown (not built from a git checkout)\""))
        << text.str();
    EXPECT_TRUE(has(text.str(), "rfwatchd_version = \"9.9.9\""));
    EXPECT_TRUE(has(text.str(), " UTC\";"));
}
