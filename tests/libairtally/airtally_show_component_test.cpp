// The real airtally-show binary with the real shared library.
#include "namespaces.h"
#include "subprocess.h"

#include <gtest/gtest.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/socket.h>

namespace
{

bool kernel_has_nl80211()
{
    nl_sock *s = nl_socket_alloc();
    bool found = s && genl_connect(s) == 0 && genl_ctrl_resolve(s, "nl80211") >= 0;
    nl_socket_free(s);
    return found;
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
    WD_REQUIRE_PRIVATE_MOUNTS();
    std::string why;
    ASSERT_TRUE(wdtest::mount_tmpfs("/tmp", &why)) << why;
    auto o = wdtest::run({AIRTALLY_SHOW_BIN, "--json"});
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "nl80211 not found\nFailed to initialize nl80211\n");
    EXPECT_EQ(o.out, "");
}
