// The token is all that stands between the network and the radio's
// controls: it must be made privately, kept once made, and matched only
// where it was meant to be given.
#include "token.h"

#include "namespaces.h"

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
        char tmpl[] = "/tmp/rfwatch-web-token-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr) << strerror(errno);
        dir = tmpl;
        path = dir + "/token";
    }
    void TearDown() override
    {
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    void write(std::string_view bytes)
    {
        std::string why;
        ASSERT_TRUE(wdtest::write_file(path, bytes, &why)) << why;
    }
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
    bool made = token_load_or_create(path.c_str(), token, error);
    umask(old_mask);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(token.size(), TOKEN_HEX_CHARS);
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
    ASSERT_TRUE(token_load_or_create(path.c_str(), again, error)) << error;
    EXPECT_EQ(again, token);

    // And a fresh file gets a different one.
    unlink(path.c_str());
    std::string other;
    ASSERT_TRUE(token_load_or_create(path.c_str(), other, error)) << error;
    EXPECT_NE(other, token);
}

TEST_F(TokenFile, AnExistingFileIsReadTrimmedNeverReplaced)
{
    write("  \tMy-Token_1.0~\r\n\n");
    std::string token, error;
    ASSERT_TRUE(token_load_or_create(path.c_str(), token, error)) << error;
    EXPECT_EQ(token, "My-Token_1.0~");
    std::string bytes;
    ASSERT_TRUE(wdtest::read_file(path, bytes));
    EXPECT_EQ(bytes, "  \tMy-Token_1.0~\r\n\n");
}

TEST_F(TokenFile, UnusableFilesAreRefusedWithAReason)
{
    std::string token, error;
    for (const char *content : {"", " \n\t\n"}) {
        write(content);
        EXPECT_FALSE(token_load_or_create(path.c_str(), token, error)) << "'" << content << "'";
        EXPECT_NE(error.find("empty"), std::string::npos) << error;
        EXPECT_TRUE(token.empty());
    }
    // A token a URL or cookie would have to encode could never be matched.
    for (const char *content : {"two words\n", "semi;colon", "amp&er", "per%cent"}) {
        write(content);
        EXPECT_FALSE(token_load_or_create(path.c_str(), token, error)) << content;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
    write(std::string(2000, 'a'));
    EXPECT_FALSE(token_load_or_create(path.c_str(), token, error));

    std::string missing_dir = dir + "/no/such/token";
    EXPECT_FALSE(token_load_or_create(missing_dir.c_str(), token, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(TokenFile, ASymlinkIsNotFollowedToCreateAFile)
{
    // Someone else's link in a shared directory must not make us write
    // the token where it points.
    std::string target = dir + "/elsewhere";
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0) << strerror(errno);
    std::string token, error;
    EXPECT_FALSE(token_load_or_create(path.c_str(), token, error));
    EXPECT_NE(access(target.c_str(), F_OK), 0);
    unlink(target.c_str());
}

TEST(Token, InTheQueryAmongOtherParameters)
{
    const std::string t = "0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(token_in_query("token=" + t, t));
    EXPECT_TRUE(token_in_query("?token=" + t, t));
    EXPECT_TRUE(token_in_query("a=1&token=" + t + "&b=2", t));
    EXPECT_TRUE(token_in_query("token=wrong&token=" + t, t));
    EXPECT_FALSE(token_in_query("", t));
    EXPECT_FALSE(token_in_query("token=", t));
    EXPECT_FALSE(token_in_query("token", t));
    EXPECT_FALSE(token_in_query("token=" + t.substr(0, 31), t));
    EXPECT_FALSE(token_in_query("token=" + t + "0", t));
    EXPECT_FALSE(token_in_query("token=" + t.substr(0, 31) + "0", t));
    EXPECT_FALSE(token_in_query("xtoken=" + t, t));
    EXPECT_FALSE(token_in_query("tokens=" + t, t));
    EXPECT_FALSE(token_in_query("a=token=" + t, t));
    // Hex needs no percent-encoding: an encoded value is not the token.
    EXPECT_FALSE(token_in_query("token=%30123456789abcdef0123456789abcdef", t));
    // Without a token set up nothing matches, not even an empty value.
    EXPECT_FALSE(token_in_query("token=", ""));
    EXPECT_FALSE(token_in_query("", ""));
}

TEST(Token, InACookieHeaderWithSeveralCookies)
{
    const std::string t = "feedfacecafebeef0011223344556677";
    EXPECT_TRUE(token_in_cookie("rfwatch_token=" + t, t));
    EXPECT_TRUE(token_in_cookie("a=1; rfwatch_token=" + t + "; b=2", t));
    EXPECT_TRUE(token_in_cookie("a=1;rfwatch_token=" + t, t));
    EXPECT_TRUE(token_in_cookie("rfwatch_token=\"" + t + "\"", t));
    EXPECT_TRUE(token_in_cookie("rfwatch_token=old; rfwatch_token=" + t, t));
    EXPECT_FALSE(token_in_cookie("", t));
    EXPECT_FALSE(token_in_cookie("a=1; b=2", t));
    EXPECT_FALSE(token_in_cookie("rfwatch_token=" + t.substr(1), t));
    EXPECT_FALSE(token_in_cookie("other_rfwatch_token=" + t, t));
    EXPECT_FALSE(token_in_cookie("token=" + t, t));
    EXPECT_FALSE(token_in_cookie("a=rfwatch_token=" + t, t));
    EXPECT_FALSE(token_in_cookie("rfwatch_token=", ""));
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
