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
#include <functional>
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
    enum Want { Documented, Private, Fails };
    struct Case {
        const char *what;
        std::function<bool(std::string *why)> make; // what holds the path before
        bool other_uid;
        Want want;
    };
    HandlePtr first = bare_handle(); // for the socket in use
    const Case cases[] = {
        {"nothing", [](std::string *) { return true; }, false, Documented},
        {"a stale socket of ours",
         [&](std::string *why) { return wdtest::leave_stale_socket(path, why); }, false,
         Documented},
        {"a file of ours that is not a socket",
         [&](std::string *why) { return wdtest::write_file(path, "mine", why); }, false, Private},
        {"a link", [&](std::string *) { return symlink("/tmp/elsewhere", path.c_str()) == 0; },
         false, Private},
        {"another user's file",
         [&](std::string *why) { return wdtest::write_file(path, "theirs", why); }, true, Private},
        {"another user's stale socket",
         [&](std::string *why) { return wdtest::leave_stale_socket(path, why); }, true, Private},
        {"a socket of ours in use",
         [&](std::string *) { return airtally::ctrl_open(first->ctrl) == 0; }, false, Fails},
    };
    std::string skipped;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        ASSERT_TRUE(c.make(&why)) << why;
        if (c.other_uid && lchown(path.c_str(), kOtherUid, kOtherUid) != 0) {
            skipped += std::string(" ") + c.what + " (chown: " + strerror(errno) + ")";
            unlink(path.c_str());
            continue;
        }
        struct stat held {
        };
        lstat(path.c_str(), &held);
        HandlePtr h = bare_handle();
        std::size_t descriptors = open_descriptors();
        wdtest::FdCapture err(2);
        int rc = airtally::ctrl_open(h->ctrl);
        std::string said = err.text();
        std::string local = h->ctrl->local.sun_path;
        if (c.want == Fails) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(said, "bind: Address already in use\n");
            EXPECT_EQ(h->ctrl->fd, -1);
            EXPECT_EQ(open_descriptors(), descriptors);
        } else {
            ASSERT_EQ(rc, 0) << said;
            if (c.want == Documented) {
                EXPECT_EQ(local, path);
                EXPECT_EQ(said, "");
            } else {
                std::string dir = local.substr(0, local.rfind('/'));
                EXPECT_EQ(dir.rfind(path + ".", 0), 0u) << local;
                EXPECT_EQ(local.substr(dir.size()), "/ctrl");
                EXPECT_EQ(said, path + " is not ours; using " + local + "\n");
                struct stat d {
                };
                ASSERT_EQ(stat(dir.c_str(), &d), 0);
                EXPECT_EQ(d.st_mode & 07777, 0711u);
                EXPECT_EQ(d.st_uid, geteuid());
            }
            // A daemon's reply comes back to where we are bound.
            wdtest::FakeCtrlDaemon daemon;
            daemon.answer("PING", "PONG\n");
            ASSERT_TRUE(daemon.start("/tmp/daemon", &why)) << why;
            ASSERT_EQ(airtally::ctrl_connect(h->ctrl, "/tmp/daemon"), 0);
            char reply[64];
            airtally::ctrl_request(h->ctrl, "PING", reply, sizeof(reply));
            EXPECT_STREQ(reply, "PONG\n");
            ASSERT_EQ(daemon.requests().size(), 1u);
            EXPECT_EQ(daemon.requests()[0].from, local);
        }
        if (c.want != Documented) { // not ours to replace: the very same entry
            struct stat now {
            };
            ASSERT_EQ(lstat(path.c_str(), &now), 0);
            EXPECT_EQ(now.st_ino, held.st_ino);
            EXPECT_EQ(now.st_uid, held.st_uid);
        }
        h.reset();
        EXPECT_NE(access(local.c_str(), F_OK), 0) << local;
        if (c.want == Private) {
            EXPECT_NE(access(local.substr(0, local.rfind('/')).c_str(), F_OK), 0);
        }
        airtally::ctrl_close(first->ctrl);
        unlink(path.c_str());
    }
    if (!skipped.empty())
        GTEST_SKIP() << "SKIPPED: these cases need root to make a file of another user:" << skipped;
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
