// SPDX-License-Identifier: MIT
// The token is all that stands between the network and the radio's
// controls: it must be made privately, kept once made, refused when others
// could read it or guess it, and matched exactly.
#include "access_token.h"

#include "namespaces.h"
#include "temp_dir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

class TokenFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = tmp.path();
        ASSERT_FALSE(dir.empty());
        path = dir + "/token";
    }
    void write(std::string_view bytes, mode_t mode = 0600)
    {
        std::string why;
        ASSERT_TRUE(wdtest::write_file(path, bytes, &why)) << why;
        ASSERT_EQ(chmod(path.c_str(), mode), 0) << strerror(errno);
    }
    bool load(std::string &token, std::string &error, TokenCharset charset = TokenCharset::UrlSafe,
              bool create = true)
    {
        return token_file_load(path.c_str(), charset, create, token, error);
    }
    wdtest::TempDir tmp{"rfwatch-web-token"};
    std::string dir, path;
};

bool is_lower_hex(const std::string &s)
{
    return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

TEST_F(TokenFile, CreatedPrivateWithRandomHexThenKept)
{
    // A permissive umask must not widen the file.
    mode_t old_mask = umask(0);
    std::string token, error;
    bool made = load(token, error);
    umask(old_mask);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(token.size(), TOKEN_MIN_HEX_CHARS);
    EXPECT_TRUE(is_lower_hex(token)) << token;

    struct stat st {
    };
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    std::string bytes;
    ASSERT_TRUE(wdtest::read_file(path, bytes));
    EXPECT_EQ(bytes, token + "\n");

    // Once made, the same token on every start.
    std::string again;
    ASSERT_TRUE(load(again, error)) << error;
    EXPECT_EQ(again, token);

    // And a fresh file gets a different one.
    unlink(path.c_str());
    std::string other;
    ASSERT_TRUE(load(other, error)) << error;
    EXPECT_NE(other, token);
}

TEST_F(TokenFile, AnExistingFileIsReadTrimmedNeverReplaced)
{
    write("  \tMy-Token_1.0~abcdefghijklm\r\n\n");
    std::string token, error;
    ASSERT_TRUE(load(token, error)) << error;
    EXPECT_EQ(token, "My-Token_1.0~abcdefghijklm");
    std::string bytes;
    ASSERT_TRUE(wdtest::read_file(path, bytes));
    EXPECT_EQ(bytes, "  \tMy-Token_1.0~abcdefghijklm\r\n\n");
}

TEST_F(TokenFile, FilesOthersCouldReadOrGuessAreRefusedSayingWhy)
{
    const std::string hex32 = "0123456789abcdef0123456789ABCDEF";
    const std::string b64_22 = "AbCdEfGhIjKlMnOpQrStUv";
    struct Case {
        std::string content;
        mode_t mode;
        TokenCharset charset;
        const char *error; // nullptr: accepted
    };
    const Case cases[] = {
        {hex32 + "\n", 0600, TokenCharset::UrlSafe, nullptr},
        {b64_22, 0400, TokenCharset::UrlSafe, nullptr},
        {"Ab+/Cd+/Ef+/Gh+/Ij+/Kl==", 0600, TokenCharset::Printable, nullptr},
        {"a", 0644, TokenCharset::UrlSafe, "mode 0644"}, // the file first, then the token
        {hex32, 0640, TokenCharset::UrlSafe, "mode 0640"},
        {hex32, 0604, TokenCharset::UrlSafe, "mode 0604"},
        {hex32, 0620, TokenCharset::UrlSafe, "mode 0620"},
        {"a", 0600, TokenCharset::UrlSafe, "too short (1 characters)"},
        {hex32.substr(1), 0600, TokenCharset::UrlSafe, "32 hex digits"},
        {std::string(31, 'a'), 0600, TokenCharset::UrlSafe, "too short (31"},
        {b64_22.substr(1), 0600, TokenCharset::UrlSafe, "22 characters of base64"},
        {"", 0600, TokenCharset::UrlSafe, "empty"},
        {" \n\t\n", 0600, TokenCharset::UrlSafe, "empty"},
        // A token a URL or cookie would have to encode could never be matched.
        {"two words and then some more\n", 0600, TokenCharset::UrlSafe, "may hold only"},
        {"semi;colon_and_more_text_", 0600, TokenCharset::UrlSafe, "may hold only"},
        {"per%cent_and_more_text_xx", 0600, TokenCharset::UrlSafe, "may hold only"},
        {"Ab+/Cd+/Ef+/Gh+/Ij+/Kl==", 0600, TokenCharset::UrlSafe, "may hold only"},
        {"two words and then some more", 0600, TokenCharset::Printable, "spaces"},
        {std::string(2000, 'a'), 0600, TokenCharset::UrlSafe, "too long"},
    };
    for (const Case &c : cases) {
        write(c.content, c.mode);
        std::string token, error;
        const bool loaded = load(token, error, c.charset, false);
        if (c.error == nullptr) {
            EXPECT_TRUE(loaded) << c.content << ": " << error;
            continue;
        }
        EXPECT_FALSE(loaded) << c.content;
        EXPECT_TRUE(token.empty());
        EXPECT_NE(error.find(c.error), std::string::npos) << c.content << ": " << error;
    }

    // Someone else's file, even a private one, is not ours to trust.
    write(hex32);
    if (geteuid() != 0)
        GTEST_SKIP() << "SKIPPED: only root can give the file to another user";
    ASSERT_EQ(chown(path.c_str(), 4242, 4242), 0) << strerror(errno);
    std::string token, error;
    EXPECT_FALSE(load(token, error, TokenCharset::UrlSafe, false));
    EXPECT_NE(error.find("belongs to uid 4242"), std::string::npos) << error;
}

TEST_F(TokenFile, MissingOrUnreachableFiles)
{
    std::string token, error;
    EXPECT_FALSE(load(token, error, TokenCharset::Printable, false));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_NE(access(path.c_str(), F_OK), 0); // not created when it is not to be
    path = dir + "/no/such/token";
    EXPECT_FALSE(load(token, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    path = dir; // a directory
    EXPECT_FALSE(load(token, error, TokenCharset::UrlSafe, false));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    path = dir + "/token";
}

TEST_F(TokenFile, ASymlinkIsNotFollowedToCreateAFile)
{
    // Someone else's link in a shared directory must not make us write
    // the token where it points.
    std::string target = dir + "/elsewhere";
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << strerror(errno);
    std::string token, error;
    EXPECT_FALSE(load(token, error));
    EXPECT_NE(access(target.c_str(), F_OK), 0);
    unlink(target.c_str());
}

TEST(Token, EqualOnlyWhenEveryCharacterIs)
{
    EXPECT_TRUE(token_equal("abc", "abc"));
    EXPECT_TRUE(token_equal("", ""));
    EXPECT_FALSE(token_equal("abc", "abd"));
    EXPECT_FALSE(token_equal("abc", "bbc"));
    EXPECT_FALSE(token_equal("abc", "abcd"));
    EXPECT_FALSE(token_equal(std::string_view("a\0c", 3), std::string_view("a\0d", 3)));
}
