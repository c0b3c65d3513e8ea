// SPDX-License-Identifier: MIT
// The one reader of one-line secrets: the first line is the secret, one
// size limit for all, and a private secret must be the reader's alone.
// (A token's own rules: http-common's access_token_test.)
#include "secret_file.h"

#include "namespaces.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

TEST(SecretFile, TheFirstLineIsTheSecretWithinOneLimit)
{
    const wdtest::TempDir dir("secret-file");
    ASSERT_FALSE(dir.path().empty());
    const std::string path = dir.path() + "/secret";
    const std::string longest(SECRET_MAX, 'p');
    struct Case {
        std::string content;
        mode_t mode;
        SecretAccess access;
        const char *secret; // nullptr: refused, error holding `error`
        const char *error;
    } const cases[] = {
        {"pass word \r\nsecond line\n", 0644, SecretAccess::Shared, "pass word ", nullptr},
        {"no line end", 0640, SecretAccess::Shared, "no line end", nullptr},
        {longest + "\r\n" + longest, 0600, SecretAccess::Private, longest.c_str(), nullptr},
        {longest + "p\n", 0600, SecretAccess::Shared, nullptr, "too long"},
        {"\nsecret below", 0600, SecretAccess::Shared, nullptr, "first line is empty"},
        {"", 0600, SecretAccess::Private, nullptr, "first line is empty"},
        {"secret", 0640, SecretAccess::Private, nullptr, "mode 0640"},
    };
    for (const Case &c : cases) {
        std::string why;
        ASSERT_TRUE(wdtest::write_file(path, c.content, &why)) << why;
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        std::string secret = "kept", error;
        const bool read = read_secret_file(path.c_str(), c.access, secret, error);
        if (c.secret != nullptr) {
            EXPECT_TRUE(read) << c.content << ": " << error;
            EXPECT_EQ(secret, c.secret);
            continue;
        }
        EXPECT_FALSE(read) << c.content;
        EXPECT_EQ(secret, "kept") << "a refused file changed the secret";
        EXPECT_NE(error.find(c.error), std::string::npos) << c.content << ": " << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
    std::string secret, error;
    EXPECT_FALSE(read_secret_file(dir.path().c_str(), SecretAccess::Private, secret, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(
        read_secret_file((path + "-missing").c_str(), SecretAccess::Shared, secret, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}
