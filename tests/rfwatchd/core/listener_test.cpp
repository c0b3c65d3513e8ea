// SPDX-License-Identifier: MIT
// The listening socket's path rules: the full sun_path is usable, longer is
// refused, a socket left by an earlier run does not block the start, and
// no other kind of file is ever removed.
#include "core/listener.h"
#include "namespaces.h"
#include "temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

class Listener : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = tmp.path();
        ASSERT_FALSE(dir.empty());
    }
    // A path of exactly len characters inside dir.
    std::string path_of_length(size_t len)
    {
        std::string p = dir + "/";
        p += std::string(len - p.size(), 's');
        return p;
    }
    wdtest::TempDir tmp{"rfwatchd-listener"};
    std::string dir;
};

bool can_connect(const std::string &path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    path.copy(a.sun_path, sizeof a.sun_path - 1);
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

} // namespace

TEST_F(Listener, PathOf107IsUsedAnd108Refused)
{
    std::string ok = path_of_length(107);
    int fd = open_listening_socket(ok.c_str());
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(can_connect(ok));
    close(fd);

    std::string too_long = path_of_length(108);
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_listening_socket(too_long.c_str()), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Socket path is too long: " + too_long + "\nFailed to get socket\n");
}

TEST_F(Listener, StaleSocketIsReplaced)
{
    std::string path = dir + "/rfwatchd.sock";
    std::string why;
    ASSERT_TRUE(wdtest::leave_stale_socket(path, &why)) << why;
    ASSERT_FALSE(can_connect(path));
    int fd = open_listening_socket(path.c_str());
    ASSERT_GE(fd, 0);
    struct stat st {
    };
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_TRUE(can_connect(path));
    close(fd);
    // The file stays when the program ends.
    EXPECT_EQ(stat(path.c_str(), &st), 0);
}

TEST_F(Listener, AnyOtherFileAtThePathIsKept)
{
    std::string path = dir + "/rfwatchd.conf";
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("precious", f);
    fclose(f);
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_listening_socket(path.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error binding: Address already in use\nFailed to get socket\n");
    char text[16] = {};
    f = fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fread(text, 1, sizeof text - 1, f), 8u);
    fclose(f);
    EXPECT_STREQ(text, "precious");
}

TEST_F(Listener, BindFailureIsReported)
{
    std::string path = dir + "/missing-dir/rfwatchd.sock";
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_listening_socket(path.c_str()), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error binding: No such file or directory\nFailed to get socket\n");
}
