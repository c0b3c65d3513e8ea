// SPDX-License-Identifier: MIT
// --listen, --token-file and --no-auth as every HTTP companion takes them:
// what is stored, what is left to the program, and the exact refusals that
// the companions print (scripts and people match on them).
#include "access_options.h"

#include <gtest/gtest.h>
#include <string>

TEST(AccessOptions, TakesItsThreeOptionsAndLeavesTheRestToTheProgram)
{
    HttpAccess a = access_defaults(9749);
    EXPECT_EQ(a.address, "127.0.0.1");
    EXPECT_EQ(a.port, 9749);
    std::string message;
    EXPECT_EQ(access_option(a, 'l', "[::1]:81", message), ACCESS_TAKEN);
    EXPECT_EQ(access_option(a, ACCESS_OPT_TOKEN_FILE, "/etc/t", message), ACCESS_TAKEN);
    EXPECT_EQ(access_option(a, ACCESS_OPT_NO_AUTH, nullptr, message), ACCESS_TAKEN);
    EXPECT_EQ(a.address, "::1");
    EXPECT_EQ(a.port, 81);
    EXPECT_EQ(a.token_file, "/etc/t");
    EXPECT_TRUE(a.no_auth);
    EXPECT_TRUE(message.empty()) << message;

    // The program's own options, and getopt's '?' and ':', pass untouched.
    for (const int c : {int{'h'}, int{'s'}, int{'?'}, int{':'}, int{ACCESS_OPT_END}}) {
        HttpAccess b = access_defaults(1);
        EXPECT_EQ(access_option(b, c, "10.0.0.1:2", message), ACCESS_OTHER) << c;
        EXPECT_EQ(b.address, "127.0.0.1");
        EXPECT_EQ(b.port, 1);
        EXPECT_TRUE(b.token_file.empty());
        EXPECT_FALSE(b.no_auth);
    }
}

TEST(AccessOptions, ABadListenIsRefusedWithTheArgumentAndChangesNothing)
{
    HttpAccess a = access_defaults(8080);
    std::string message;
    EXPECT_EQ(access_option(a, 'l', "10.0.0.1:99999", message), ACCESS_REFUSED);
    EXPECT_EQ(message, "--listen takes [ADDR:]PORT, not 10.0.0.1:99999");
    EXPECT_EQ(a.address, "127.0.0.1");
    EXPECT_EQ(a.port, 8080);
}

TEST(AccessOptions, ATokenFileAndNoAuthExcludeEachOther)
{
    HttpAccess a = access_defaults(1);
    std::string message;
    EXPECT_TRUE(access_choice_ok(a, message));
    a.token_file = "t";
    EXPECT_TRUE(access_choice_ok(a, message));
    a.no_auth = true;
    EXPECT_FALSE(access_choice_ok(a, message));
    EXPECT_EQ(message, "--token-file and --no-auth exclude each other");
    a.token_file.clear();
    EXPECT_TRUE(access_choice_ok(a, message));
}

TEST(AccessOptions, BeyondLoopbackATokenFileOrNoAuthIsNeeded)
{
    std::string message;
    for (const char *address : {"127.0.0.1", "127.9.9.9", "::1"}) {
        HttpAccess a = access_defaults(1);
        a.address = address;
        EXPECT_TRUE(access_exposure_ok(a, "use", message)) << address;
    }
    for (const char *address : {"0.0.0.0", "10.0.2.15", "::", "fe80::1"}) {
        HttpAccess a = access_defaults(1);
        a.address = address;
        EXPECT_FALSE(access_exposure_ok(a, "use", message)) << address;
        a.token_file = "t";
        EXPECT_TRUE(access_exposure_ok(a, "use", message)) << address;
        a.token_file.clear();
        a.no_auth = true;
        EXPECT_TRUE(access_exposure_ok(a, "use", message)) << address;
    }
    HttpAccess a = access_defaults(1);
    a.address = "0.0.0.0";
    EXPECT_FALSE(access_exposure_ok(a, "a bearer token the scraper presents", message));
    EXPECT_EQ(message, "listening on 0.0.0.0 reaches other machines: give "
                       "--token-file FILE (a bearer token the scraper presents) or --no-auth");
}
