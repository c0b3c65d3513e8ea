// SPDX-License-Identifier: MIT
// The [ADDR:]PORT every HTTP companion takes, and what counts as loopback
// (beyond it, the companions demand authentication).
#include "listen_address.h"

#include <gtest/gtest.h>
#include <string>

TEST(ListenAddress, FormsAndRefusals)
{
    struct Case {
        const char *arg;
        bool ok;
        const char *address;
        int port;
    };
    const Case cases[] = {
        {"9100", true, "127.0.0.1", 9100},
        {"0", true, "127.0.0.1", 0},
        {"10.0.2.15:80", true, "10.0.2.15", 80},
        {"localhost:81", true, "127.0.0.1", 81},
        {"[::1]:82", true, "::1", 82},
        {"[fe80::1]:83", true, "fe80::1", 83},
        {"65536", false, "", 0},
        {"-1", false, "", 0},
        {"host.example:80", false, "", 0},
        {"127.0.0.1:", false, "", 0},
        {"127.0.0.1:8x", false, "", 0},
        {"", false, "", 0},
    };
    for (const Case &c : cases) {
        std::string address = "127.0.0.1";
        int port = 9749;
        EXPECT_EQ(parse_listen(c.arg, address, port), c.ok) << c.arg;
        if (c.ok) {
            EXPECT_EQ(address, c.address) << c.arg;
            EXPECT_EQ(port, c.port) << c.arg;
        }
    }
    // A refused address leaves the address and port as they were.
    std::string address = "127.0.0.1";
    int port = 9749;
    EXPECT_FALSE(parse_listen("10.0.0.1:99999", address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, 9749);
}

TEST(ListenAddress, LoopbackIsTheWholeOfOneTwentySevenAndColonColonOne)
{
    for (const char *a : {"127.0.0.1", "127.1.2.3", "::1"})
        EXPECT_TRUE(is_loopback(a)) << a;
    for (const char *a : {"0.0.0.0", "10.0.2.15", "128.0.0.1", "::", "fe80::1", "::ffff:127.0.0.1",
                          "localhost", ""})
        EXPECT_FALSE(is_loopback(a)) << a;
}

TEST(ListenAddress, TheListeningLineBracketsIPv6SoThePortStaysReadable)
{
    // Tests and scripts take the port from after the last colon; an
    // unbracketed IPv6 address would have them read part of the address.
    EXPECT_EQ(listening_line("prog", "127.0.0.1", 8080, ""), "prog: listening on 127.0.0.1:8080\n");
    EXPECT_EQ(listening_line("prog", "::1", 0, " (token required)"),
              "prog: listening on [::1]:0 (token required)\n");
    EXPECT_EQ(listening_line("prog", "fe80::1", 65535, ""), "prog: listening on [fe80::1]:65535\n");
}
