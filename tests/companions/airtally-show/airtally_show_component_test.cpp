// SPDX-License-Identifier: MIT
// The real airtally-show binary with the real shared library.
#include "subprocess.h"

#include <glob.h>
#include <gtest/gtest.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/socket.h>
#include <set>
#include <string>

namespace
{

bool kernel_has_nl80211()
{
    nl_sock *s = nl_socket_alloc();
    bool found = s && genl_connect(s) == 0 && genl_ctrl_resolve(s, "nl80211") >= 0;
    nl_socket_free(s);
    return found;
}

std::set<std::string> control_socket_files()
{
    std::set<std::string> names;
    glob_t g{};
    if (glob("/tmp/airtally_ctrl_*", 0, nullptr, &g) == 0)
        names.insert(g.gl_pathv, g.gl_pathv + g.gl_pathc);
    globfree(&g);
    return names;
}

} // namespace

TEST(AirtallyShowBinary, UsageAndOptions)
{
    auto help = wdtest::run({AIRTALLY_SHOW_BIN, "--help"});
    EXPECT_TRUE(help.exited);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    auto bad = wdtest::run({AIRTALLY_SHOW_BIN, "--bogus"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("Usage: airtally-show"), std::string::npos);
    EXPECT_EQ(wdtest::run({AIRTALLY_SHOW_BIN, "extra"}).status, 2);
}

TEST(AirtallyShowBinary, ReportsTheLibrarysInitFailure)
{
    if (kernel_has_nl80211())
        GTEST_SKIP() << "SKIPPED: this kernel has nl80211; the system tests run the tool there";
    // The real /tmp: the build tree may live under it, and the library
    // removes its socket file on this failure path anyway.
    const auto before = control_socket_files();
    auto o = wdtest::run({AIRTALLY_SHOW_BIN, "--json"});
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "nl80211 not found\nFailed to initialize nl80211\n");
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(control_socket_files(), before);
}
