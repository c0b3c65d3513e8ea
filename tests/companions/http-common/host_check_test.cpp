// SPDX-License-Identifier: MIT
// Which Host names a request may give: the rule that keeps a DNS-rebound
// page (its own name, our address) from reaching the companions.
#include "host_check.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(HostCheck, OnlyOurNamesWithOurPort)
{
    const std::vector<std::string> none;
    const std::vector<std::string> allowed = {"ap.example", "Proxy.Example:443", "[::1]:9"};
    struct Case {
        const char *host;
        const char *listen;
        int port;
        const std::vector<std::string> *allowed;
        bool ok;
    };
    const Case cases[] = {
        {"127.0.0.1:8080", "127.0.0.1", 8080, &none, true},
        {"localhost:8080", "127.0.0.1", 8080, &none, true},
        {"LocalHost:8080", "10.0.0.1", 8080, &none, true},
        {"[::1]:8080", "::1", 8080, &none, true},
        {"[0:0::1]:8080", "::1", 8080, &none, true},
        {"10.0.0.7:8080", "0.0.0.0", 8080, &none, true}, // an address cannot be rebound
        {"[fe80::1]:8080", "::", 8080, &none, true},
        {"127.0.0.1", "127.0.0.1", 80, &none, true},
        {"evil.example", "127.0.0.1", 8080, &none, false},
        {"evil.example:8080", "127.0.0.1", 8080, &none, false},
        {"evil.example:8080", "0.0.0.0", 8080, &none, false},
        {"127.0.0.1", "127.0.0.1", 8080, &none, false}, // no port: 80
        {"127.0.0.1:8081", "127.0.0.1", 8080, &none, false},
        {"localhost:1", "127.0.0.1", 8080, &none, false},
        {"127.0.0.2:8080", "127.0.0.1", 8080, &none, false},
        {"localhost.:8080", "127.0.0.1", 8080, &none, false},
        {"", "127.0.0.1", 8080, &none, false},
        {":8080", "127.0.0.1", 8080, &none, false},
        {"127.0.0.1:8080:1", "127.0.0.1", 8080, &none, false},
        {"127.0.0.1:08080x", "127.0.0.1", 8080, &none, false},
        {"[::1", "::1", 8080, &none, false},
        {"::1:8080", "::1", 8080, &none, false},
        {"a b:8080", "127.0.0.1", 8080, &none, false},
        {"ap.example:8080", "127.0.0.1", 8080, &allowed, true},
        {"AP.EXAMPLE:1234", "127.0.0.1", 8080, &allowed, true}, // no port given: any
        {"ap.example", "127.0.0.1", 8080, &allowed, true},
        {"proxy.example:443", "127.0.0.1", 8080, &allowed, true},
        {"proxy.example:8080", "127.0.0.1", 8080, &allowed, false},
        {"proxy.example", "127.0.0.1", 8080, &allowed, false},
        {"[::1]:9", "127.0.0.1", 8080, &allowed, true},
        {"evil.ap.example:8080", "127.0.0.1", 8080, &allowed, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(host_allowed(c.host, c.listen, c.port, *c.allowed), c.ok)
            << c.host << " on " << c.listen << ":" << c.port;
}

TEST(HostCheck, AllowHostArguments)
{
    for (const char *good : {"ap.example", "ap.example:8080", "10.0.0.1", "[::1]", "[fe80::1]:80"})
        EXPECT_TRUE(host_name_valid(good)) << good;
    for (const char *bad : {"", ":80", "ap.example:", "ap.example:0", "ap.example:65536",
                            "[nonsense]", "::1", "a/b", "http://ap.example"})
        EXPECT_FALSE(host_name_valid(bad)) << bad;
}
