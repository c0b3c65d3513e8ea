// radiostats_init and radiostats_free through the exported functions, with
// the library's socket file in a private /tmp.
#include "fd_capture.h"
#include "handle_fixture.h"
#include "namespaces.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::string own_socket_path()
{
    return "/tmp/airtally_ctrl_" + std::to_string(getpid());
}

bool kernel_has_nl80211()
{
    nl_sock *s = nl_socket_alloc();
    bool found = s && genl_connect(s) == 0 && genl_ctrl_resolve(s, "nl80211") >= 0;
    nl_socket_free(s);
    return found;
}

std::size_t open_descriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

void private_tmp()
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    std::string why;
    ASSERT_TRUE(wdtest::mount_tmpfs("/tmp", &why)) << why;
}

} // namespace

TEST(RadiostatsInit, StaleSocketFileFailsAtBindAndIsLeftAlone)
{
    private_tmp();
    if (IsSkipped() || HasFatalFailure())
        return;
    std::string why;
    ASSERT_TRUE(wdtest::write_file(own_socket_path(), "stale", &why)) << why;
    wdtest::FdCapture err(2);
    radiostats *h = radiostats_init();
    EXPECT_EQ(err.text(), "bind: Address already in use\n");
    EXPECT_EQ(h, nullptr);
    radiostats_free(h); // null: nothing to do
    std::string left;
    ASSERT_TRUE(wdtest::read_file(own_socket_path(), left));
    EXPECT_EQ(left, "stale");
}

// A failed open must not leave its socket to the handle: the caller may keep
// the handle and open again.
TEST(CtrlOpen, FailedBindLeavesNothingOpen)
{
    private_tmp();
    if (IsSkipped() || HasFatalFailure())
        return;
    std::string why;
    ASSERT_TRUE(wdtest::write_file(own_socket_path(), "stale", &why)) << why;
    HandlePtr h = bare_handle();
    ASSERT_TRUE(h);
    std::size_t before = open_descriptors();
    {
        wdtest::FdCapture err(2);
        EXPECT_EQ(airtally::ctrl_open(h->ctrl), -1);
        EXPECT_EQ(err.text(), "bind: Address already in use\n");
    }
    EXPECT_EQ(h->ctrl->fd, -1);
    EXPECT_EQ(open_descriptors(), before);
    h.reset();
    std::string left;
    ASSERT_TRUE(wdtest::read_file(own_socket_path(), left));
    EXPECT_EQ(left, "stale");
}

TEST(RadiostatsInit, WithoutNl80211FailsAndRemovesItsSocketFile)
{
    if (kernel_has_nl80211())
        GTEST_SKIP() << "SKIPPED: this kernel has nl80211; the failure path needs one without";
    private_tmp();
    if (IsSkipped() || HasFatalFailure())
        return;
    wdtest::FdCapture err(2);
    radiostats *h = radiostats_init();
    EXPECT_EQ(err.text(), "nl80211 not found\nFailed to initialize nl80211\n");
    EXPECT_EQ(h, nullptr);
    EXPECT_NE(access(own_socket_path().c_str(), F_OK), 0);
}

TEST(RadiostatsInit, WithNl80211OneHandlePerProcess)
{
    if (!kernel_has_nl80211())
        GTEST_SKIP() << "SKIPPED: no nl80211 in this kernel (no cfg80211); the system tests "
                        "cover a working handle";
    private_tmp();
    if (IsSkipped() || HasFatalFailure())
        return;
    radiostats *h = radiostats_init();
    ASSERT_NE(h, nullptr);
    struct stat st {
    };
    ASSERT_EQ(stat(own_socket_path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    {
        wdtest::FdCapture err(2);
        EXPECT_EQ(radiostats_init(), nullptr);
        EXPECT_EQ(err.text(), "bind: Address already in use\n");
    }
    EXPECT_EQ(access(own_socket_path().c_str(), F_OK), 0); // the first handle's file stays
    radio_stat *head = radio_stat_get_all(h);
    EXPECT_EQ(head, radio_stat_get_all(h));
    EXPECT_TRUE(links_consistent(head));
    vap_stat *vaps = vap_stat_get_all_nl(h);
    EXPECT_TRUE(links_consistent(vaps));
    radiostats_free(h);
    EXPECT_NE(access(own_socket_path().c_str(), F_OK), 0);
}
