// SPDX-License-Identifier: MIT
// radiostats_init and radiostats_free through the exported functions, with
// the library's socket file in a private /tmp.
#include "ctrl_socket.h"
#include "fake_ctrl_daemon.h"
#include "fd_capture.h"
#include "handle_fixture.h"
#include "namespaces.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// nobody: a user that is not us (the tests run as root).
constexpr uid_t kOtherUid = 65534;

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

// The documented path is predictable, so whatever holds it first decides
// how the control socket is bound: only a live socket of ours (one handle
// per process) may make it fail; a stale one of ours is replaced; anything
// else stays untouched and the socket goes into a private directory, where
// a daemon's replies still reach it.
TEST(CtrlOpen, WhatHoldsTheDocumentedPathFirst)
{
    private_tmp();
    if (IsSkipped() || HasFatalFailure())
        return;
    const std::string path = own_socket_path();
    enum Holder { Nothing, StaleSocket, File, Link, InUse };
    enum Want { Documented, Private, Fails };
    const struct {
        Holder holder;
        bool other_uid;
        Want want;
    } cases[] = {{Nothing, false, Documented}, {StaleSocket, false, Documented},
                 {File, false, Private},       {Link, false, Private},
                 {File, true, Private},        {StaleSocket, true, Private},
                 {InUse, false, Fails}};
    HandlePtr first = bare_handle(); // holds the socket in use
    std::string skipped, why;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "holder " << c.holder << ", other uid " << c.other_uid);
        ASSERT_TRUE(c.holder == Nothing ||
                    (c.holder == StaleSocket && wdtest::leave_stale_socket(path, &why)) ||
                    (c.holder == File && wdtest::write_file(path, "held", &why)) ||
                    (c.holder == Link && symlink("/tmp/elsewhere", path.c_str()) == 0) ||
                    (c.holder == InUse && airtally::ctrl_open(first->ctrl) == 0))
            << why;
        if (c.other_uid && lchown(path.c_str(), kOtherUid, kOtherUid) != 0) {
            skipped += std::string(" ") + std::to_string(c.holder) + ": " + strerror(errno);
            unlink(path.c_str());
            continue;
        }
        struct stat held {
        }, now{};
        lstat(path.c_str(), &held);
        HandlePtr h = bare_handle();
        std::size_t descriptors = open_descriptors();
        wdtest::FdCapture err(2);
        int rc = airtally::ctrl_open(h->ctrl);
        std::string said = err.text();
        std::string local = h->ctrl->local.sun_path;
        std::string dir = local.substr(0, local.rfind('/'));
        EXPECT_EQ(said, c.want == Fails     ? "bind: Address already in use\n"
                        : c.want == Private ? path + " is not ours; using " + local + "\n"
                                            : "");
        EXPECT_EQ(open_descriptors(), descriptors + (c.want == Fails ? 0 : 1));
        ASSERT_EQ(rc, c.want == Fails ? -1 : 0);
        if (c.want != Fails) {
            EXPECT_EQ(c.want == Documented ? local : dir.substr(0, path.size() + 1),
                      path + (c.want == Documented ? "" : "."));
            EXPECT_TRUE(c.want == Documented ||
                        (stat(dir.c_str(), &now) == 0 && (now.st_mode & 07777) == 0711));
            // A daemon's reply comes back to where we are bound.
            wdtest::FakeCtrlDaemon daemon;
            daemon.answer("PING", "PONG\n");
            ASSERT_TRUE(daemon.start("/tmp/daemon", &why)) << why;
            ASSERT_EQ(airtally::ctrl_connect(h->ctrl, "/tmp/daemon"), 0);
            char reply[64];
            airtally::ctrl_request(h->ctrl, "PING", reply, sizeof(reply));
            EXPECT_STREQ(reply, "PONG\n");
            EXPECT_EQ(daemon.requests().at(0).from, local);
        }
        // Not ours to replace: the very same entry stays.
        EXPECT_TRUE(c.want == Documented ||
                    (lstat(path.c_str(), &now) == 0 && now.st_ino == held.st_ino));
        h.reset();
        EXPECT_NE(access(local.c_str(), F_OK), 0) << local;
        EXPECT_TRUE(c.want != Private || access(dir.c_str(), F_OK) != 0) << dir;
        airtally::ctrl_close(first->ctrl);
        unlink(path.c_str());
    }
    if (!skipped.empty())
        GTEST_SKIP() << "SKIPPED: cases that need root to make another user's file:" << skipped;
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
    // A second refresh of an unchanged system keeps the very same records.
    radio_stat *head = radio_stat_get_all(h);
    auto radios = walk(head);
    EXPECT_EQ(head, radio_stat_get_all(h));
    EXPECT_EQ(walk(head), radios);
    EXPECT_TRUE(links_consistent(head));
    vap_stat *vaps = vap_stat_get_all_nl(h);
    auto ifaces = walk(vaps);
    EXPECT_EQ(vap_stat_get_all_nl(h), vaps);
    EXPECT_EQ(walk(vaps), ifaces);
    EXPECT_TRUE(links_consistent(vaps));
    radiostats_free(h);
    EXPECT_NE(access(own_socket_path().c_str(), F_OK), 0);
}
