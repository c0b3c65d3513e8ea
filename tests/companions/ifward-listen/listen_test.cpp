// SPDX-License-Identifier: MIT
// ifward-listen as a person wiring scripts uses it: started at the fixed
// path, it prints one decoded line per datagram that ifward-event sends.
#include "receiver.h"

#include <gtest/gtest.h>
#include <namespaces.h>

namespace
{

TEST(IfwardListen, PrintsEachDatagramDecoded)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    std::string why;
    ASSERT_TRUE(wdtest::mount_tmpfs("/run", &why)) << why; // no /run/ifward: it makes it
    ASSERT_TRUE(wdtest::write_file("/run/states", "wlan9.carrier=1\n", &why)) << why;
    // A count that is no number once meant "until a signal"; now it is refused
    // before anything is bound.
    for (const char *count : {"abc", "-1", "4x"}) {
        const wdtest::Outcome bad = wdtest::run({IFWARD_LISTEN_BIN, "--count", count});
        EXPECT_EQ(bad.status, 1) << count;
        EXPECT_NE(bad.err.find("--count takes 0 to"), std::string::npos) << bad.err;
        EXPECT_EQ(bad.out, "") << count;
    }
    wdtest::Child listener;
    ASSERT_TRUE(listener.start({IFWARD_LISTEN_BIN, "--count", "4"}, {}, &why)) << why;
    ASSERT_TRUE(listener.read_until_contains("Listening on /run/ifward/ifward.sock\n", 5000))
        << listener.err();

    // A second receiver must not take the socket of a running one.
    wdtest::Outcome second = wdtest::run({IFWARD_LISTEN_BIN});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "/run/ifward/ifward.sock is in use by another receiver\n");

    EXPECT_EQ(ifwtest::run_tool({"if-create", "eth9", "mac=00:11:22:33:44:55"}).status, 0);
    EXPECT_EQ(ifwtest::run_tool({"ip-assign", "eth9", "addr=2001:db8::1/64"}).status, 0);
    EXPECT_EQ(ifwtest::run_tool({"-i", "/run/states"}).status, 0);
    wdtest::Outcome o = listener.finish(5000);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "Listening on /run/ifward/ifward.sock\n"
                     "event IF_CREATE(1) ifindex=0 ifname=eth9 mac=00:11:22:33:44:55\n"
                     "event ADDR_ASSIGN(33) ifindex=0 ifname=eth9 addr=2001:db8::1/64\n"
                     "state ifindex=0 ifname=wlan9 exists=1 enabled=0 carrier=1 dormant=0 "
                     "lldown=0 mac=00:00:00:00:00:00 ipv4=0.0.0.0/0 ipv6=::/0\n"
                     "state closing\n");
}

} // namespace
