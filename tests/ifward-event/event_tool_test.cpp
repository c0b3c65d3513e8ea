// SPDX-License-Identifier: MIT
// The real ifward-event against a stand-in receiver at the fixed socket
// path, in private mount and network namespaces with a tmpfs over /run.
#include "receiver.h"

#include <gtest/gtest.h>
#include <namespaces.h>
#include <net/if.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

using namespace ifwtest;

const std::string kUsage =
    "Usage: ifward-event <command> <interface> [param=value ...]\n"
    "   or: ifward-event --init <file>\n"
    "\nOptions:\n"
    "  -i, --init <file>                     - Initialize state from file\n"
    "  -h, --help                            - Show this help message\n"
    "\nInterface Commands:\n"
    "  if-create <interface> [mac=<mac>]     - Create interface\n"
    "  if-destroy <interface>                - Destroy interface\n"
    "  if-up <interface>                     - Bring interface up\n"
    "  if-down <interface>                   - Bring interface down\n"
    "  if-mac <interface> mac=<mac>          - Change MAC address\n"
    "\nLink Commands:\n"
    "  link-up <interface>                   - Physical link up\n"
    "  link-down <interface>                 - Physical link down\n"
    "  link-dormant <interface>              - Link waiting for external event\n"
    "  link-lldown <interface>               - Link waiting for lower layer\n"
    "\nAddress Commands:\n"
    "  ip-assign <interface> addr=<addr>   - Assign IP address\n"
    "  ip-remove <interface> [addr=<addr>] - Remove IP address\n"
    "\nParameters:\n"
    "  mac=<address>                         - MAC address (e.g., mac=00:11:22:33:44:55)\n"
    "  addr=<ip>[/<prefix>]                  - IP address with optional prefix\n"
    "                                          IPv4: addr=192.168.1.100/24\n"
    "                                          IPv6: addr=2001:db8::1/64\n"
    "\nExamples:\n"
    "  ifward-event if-create eth0 mac=00:11:22:33:44:55\n"
    "  ifward-event if-up eth0\n"
    "  ifward-event ip-assign eth0 addr=192.168.1.100/24\n"
    "  ifward-event ip-assign eth0 addr=2001:db8::1/64\n"
    "  ifward-event link-down wlan0\n";

const Mac kMac = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class EventTool : public testing::Test
{
  protected:
    // A private network namespace too, so that only lo exists and names
    // such as eth9 have index 0 whatever the host's interfaces are.
    void SetUp() override
    {
        WD_REQUIRE_PRIVATE_MOUNTS();
        WD_REQUIRE_PRIVATE_NETWORK();
    }

    // Sends and expects exactly one datagram, status 0 and the info line.
    void expect_sent(const std::vector<std::string> &args, const Bytes &want,
                     const std::string &info)
    {
        Exchange e = exchange(args);
        ASSERT_TRUE(e.outcome.exited);
        EXPECT_EQ(e.outcome.status, 0) << e.outcome.err;
        ASSERT_EQ(e.datagrams.size(), 1u);
        EXPECT_EQ(e.datagrams[0], want);
        EXPECT_EQ(e.outcome.err, "Info: Event sent: " + info + "\n");
        EXPECT_EQ(e.outcome.out, "");
    }

    // A usage error: the message, the usage text, status 1, nothing sent.
    void expect_usage_error(const std::vector<std::string> &args, const std::string &err)
    {
        Exchange e = exchange(args);
        ASSERT_TRUE(e.outcome.exited);
        EXPECT_EQ(e.outcome.status, 1);
        EXPECT_EQ(e.outcome.err, err);
        EXPECT_EQ(e.outcome.out, kUsage);
        EXPECT_TRUE(e.datagrams.empty());
    }
};

TEST_F(EventTool, EveryCommandWithoutPayloadSendsItsCode)
{
    const std::pair<const char *, std::pair<int32_t, const char *>> table[] = {
        {"if-create", {1, "IF_CREATE"}},
        {"if-destroy", {2, "IF_DESTROY"}},
        {"if-up", {3, "IF_UP"}},
        {"if-down", {4, "IF_DOWN"}},
        {"link-up", {17, "LINK_UP"}},
        {"link-down", {18, "LINK_DOWN"}},
        {"link-dormant", {19, "LINK_DORMANT"}},
        {"link-lldown", {20, "LINK_LOWERLAYER_DOWN"}},
        {"ip-remove", {34, "ADDR_REMOVE"}}};
    for (auto [command, event] : table) {
        SCOPED_TRACE(command);
        expect_sent({command, "nosuch0"}, event_bytes(event.first, 0, "nosuch0"),
                    std::string(event.second) + " on nosuch0");
    }
}

TEST_F(EventTool, IndexOfAnExistingInterfaceAndCutOfALongName)
{
    auto lo = static_cast<int32_t>(if_nametoindex("lo"));
    ASSERT_GT(lo, 0);
    expect_sent({"if-up", "lo"}, event_bytes(3, lo, "lo"), "IF_UP on lo");
    expect_sent({"link-down", "abcdefghijklmnopqrst"}, event_bytes(18, 0, "abcdefghijklmno"),
                "LINK_DOWN on abcdefghijklmno");
}

TEST_F(EventTool, MacParameters)
{
    expect_sent({"if-create", "eth9", "mac=01:02:03:04:05:06", "mac=00:11:22:33:44:55"},
                with_mac(event_bytes(1, 0, "eth9"), kMac), "IF_CREATE on eth9");
    expect_sent({"if-mac", "eth9", "mac=0:11:22:33:44:55"},
                with_mac(event_bytes(5, 0, "eth9"), kMac), "IF_MAC on eth9");

    Exchange e = exchange({"if-create", "eth9", "foo=1"});
    EXPECT_EQ(e.outcome.status, 0);
    EXPECT_EQ(e.outcome.err,
              "Warning: Unknown parameter 'foo=1'\nInfo: Event sent: IF_CREATE on eth9\n");
    ASSERT_EQ(e.datagrams.size(), 1u);
    EXPECT_EQ(e.datagrams[0], event_bytes(1, 0, "eth9"));

    expect_usage_error({"if-mac", "eth9", "addr=10.0.0.1"},
                       "Warning: Unknown parameter 'addr=10.0.0.1'\n"
                       "Error: if-mac requires mac parameter\n"
                       "Error: Failed to parse command options\n\n");
    expect_usage_error({"if-create", "eth9", "mac=00:11:22:33:44"},
                       "Error: Invalid MAC address format: 00:11:22:33:44\n"
                       "Error: Failed to parse command options\n\n");
}

TEST_F(EventTool, AddressParameters)
{
    expect_sent({"ip-assign", "eth9", "addr=192.168.1.100/24"},
                with_address(event_bytes(33, 0, "eth9"), 2, 24, {192, 168, 1, 100}),
                "ADDR_ASSIGN on eth9");
    expect_sent({"ip-assign", "eth9", "addr=1.1.1.1/8", "addr=10.0.0.1"},
                with_address(event_bytes(33, 0, "eth9"), 2, 32, {10, 0, 0, 1}),
                "ADDR_ASSIGN on eth9");
    expect_sent({"ip-remove", "eth9", "addr=2001:db8::1"},
                with_address(event_bytes(34, 0, "eth9"), 10, 128,
                             {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}),
                "ADDR_REMOVE on eth9");
    expect_usage_error({"ip-assign", "eth9"}, "Error: ip-assign requires addr parameter\n"
                                              "Error: Failed to parse command options\n\n");
    for (const char *bad : {"addr=10.0.0.1/33", "addr=10.0.0.1/-1", "addr=10.0.0.1/264",
                            "addr=2001:db8::1/129", "addr=eth0"})
        expect_usage_error({"ip-assign", "eth9", bad},
                           std::string("Error: Invalid IP address format: ") + (bad + 5) +
                               "\nError: Failed to parse command options\n\n");
}

TEST_F(EventTool, ExtraParametersAreIgnoredWithAWarningAndDebugLines)
{
    Exchange e = exchange({"link-up", "eth9", "a", "b"}, {"DEBUG="});
    EXPECT_EQ(e.outcome.status, 0);
    EXPECT_EQ(e.outcome.err, "Warning: Command does not expect parameters\n"
                             "Debug: Ignore parameter: a\n"
                             "Debug: Ignore parameter: b\n"
                             "Debug: Sending event LINK_UP on eth9 to /run/ifward/ifward.sock\n"
                             "Info: Event sent: LINK_UP on eth9\n");
    ASSERT_EQ(e.datagrams.size(), 1u);
    EXPECT_EQ(e.datagrams[0], event_bytes(17, 0, "eth9"));

    e = exchange({"link-up", "eth9", "a"}, {"-DEBUG"});
    EXPECT_EQ(e.outcome.err, "Warning: Command does not expect parameters\n"
                             "Info: Event sent: LINK_UP on eth9\n");
}

TEST_F(EventTool, UsageTextAndUsageErrors)
{
    wdtest::Outcome o = run_tool({"--help"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, kUsage);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(run_tool({"if-up", "eth0", "-h"}).status, 0) << "options may follow commands";

    expect_usage_error({}, "Error: Missing command arguments\n\n");
    expect_usage_error({"if-up"}, "Error: Missing command arguments\n\n");
    expect_usage_error({"IF-UP", "eth0"}, "Error: Unknown command 'IF-UP'\n\n");
    expect_usage_error({"-x", "if-up", "eth0"}, "Error: Invalid option\n\n");
    expect_usage_error({"if-up", "eth0", "-i"}, "Error: Invalid option\n\n");
    expect_usage_error({"--bogus"}, "Error: Invalid option\n\n");
}

TEST_F(EventTool, SendFailuresNameTheCauseAndExit255)
{
    std::string why;
    ASSERT_TRUE(fresh_run_dir(&why)) << why;
    wdtest::Outcome o = run_tool({"if-up", "eth0"});
    EXPECT_EQ(o.status, 255);
    EXPECT_EQ(o.err, "Error: ifward socket not found. Is ifward running?\n");

    // A socket file that nobody is bound to any more.
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, SOCKET_PATH);
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
    close(fd);
    o = run_tool({"if-up", "eth0"});
    EXPECT_EQ(o.status, 255);
    EXPECT_EQ(o.err, "Error: Connection refused. Is ifward running?\n");

    // Anything else: the generic line with the system's text.
    unlink(SOCKET_PATH);
    fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    o = run_tool({"if-up", "eth0"}, {"DEBUG=1"});
    close(fd);
    EXPECT_EQ(o.status, 255);
    EXPECT_EQ(o.err, "Debug: Sending event IF_UP on eth0 to /run/ifward/ifward.sock\n"
                     "Error: sendto() failed: Protocol wrong type for socket\n");
}

TEST_F(EventTool, HugeArgumentsNeitherCrashNorOverrun)
{
    const std::string big(100000, 'a');
    Exchange e = exchange({"if-up", big});
    EXPECT_EQ(e.outcome.status, 0);
    ASSERT_EQ(e.datagrams.size(), 1u);
    EXPECT_EQ(e.datagrams[0], event_bytes(3, 0, big.substr(0, 15)));

    e = exchange({big, "eth0"});
    EXPECT_EQ(e.outcome.status, 1);
    EXPECT_EQ(e.outcome.err, "Error: Unknown command '" + big + "'\n\n");
    const std::pair<std::string, int> params[] = {{"mac=" + big, 1},
                                                  {"mac=00:11:22:33:44:55" + big, 0},
                                                  {"addr=" + big, 1},
                                                  {"addr=10.0.0.1/" + big, 1},
                                                  {big, 1}};
    for (const auto &[param, status] : params) {
        e = exchange({param.starts_with("addr=") ? "ip-assign" : "if-mac", "eth0", param});
        ASSERT_TRUE(e.outcome.exited) << "signal " << e.outcome.signal;
        EXPECT_EQ(e.outcome.status, status) << param.substr(0, 30);
        EXPECT_EQ(e.datagrams.size(), status == 0 ? 1u : 0u);
    }
}

} // namespace
