// SPDX-License-Identifier: MIT
// The shared helpers are used by every component test; a fault here would
// show up as confusing failures elsewhere, so pin their behaviour.
#include "namespaces.h"
#include "spectral_report.h"
#include "subprocess.h"
#include "temp_dir.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wdtest;

TEST(Subprocess, CollectsBothStreamsAndStatus)
{
    Outcome o = run({"/bin/sh", "-c", "cat; echo oops >&2; exit 3"}, "hello\n");
    ASSERT_TRUE(o.exited);
    EXPECT_EQ(o.status, 3);
    EXPECT_EQ(o.out, "hello\n");
    EXPECT_EQ(o.err, "oops\n");
    EXPECT_FALSE(o.timed_out);
}

TEST(Subprocess, KillsAChildThatOutlivesItsTimeout)
{
    Outcome o = run({"/bin/sleep", "30"}, {}, 200);
    EXPECT_TRUE(o.timed_out);
    EXPECT_FALSE(o.exited);
    EXPECT_EQ(o.signal, SIGKILL);
}

TEST(Subprocess, EnvironmentCanBeAddedAndRemoved)
{
    Outcome o =
        run({"/bin/sh", "-c", "echo \"${A-unset} ${HOME-unset}\""}, {}, 5000, {"A=1", "-HOME"});
    EXPECT_EQ(o.out, "1 unset\n");
}

TEST(Subprocess, ReadsUntilTheExpectedOutputThenSignals)
{
    Child c;
    ASSERT_TRUE(c.start({"/bin/sh", "-c", "echo ready; exec sleep 30"}));
    EXPECT_TRUE(c.read_until_contains("ready\n", 5000));
    c.send_signal(SIGTERM);
    Outcome o = c.finish(5000);
    EXPECT_FALSE(o.timed_out);
    EXPECT_EQ(o.signal, SIGTERM);
}

TEST(Subprocess, TheLoopbackPortIsReadFromTheFirstLineOnly)
{
    struct Case {
        const char *script;
        int port;
    };
    const Case cases[] = {
        {"echo 'prog: listening on 127.0.0.1:4321 (token required)'; exec sleep 30", 4321},
        {"echo 'prog: listening on [::1]:4321'; echo 127.0.0.1:5; exec sleep 30", 0},
        {"echo 'cannot listen' >&2; exit 1", 0},
        {"printf 127.0.0.1:7; exec sleep 30", 0}, // no whole line yet
    };
    for (const Case &c : cases) {
        Child child;
        ASSERT_TRUE(child.start({"/bin/sh", "-c", c.script}));
        EXPECT_EQ(read_loopback_port(child, 500), c.port) << c.script;
    }
}

TEST(TempDir, PrivateAndRemovedWithItsContentButNotWhatLinksLeadTo)
{
    TempDir outside("testkit-selftest-outside");
    ASSERT_FALSE(outside.path().empty());
    const std::string kept = outside.path() + "/kept";
    std::ofstream(kept) << "x";
    std::string path;
    {
        TempDir dir("testkit-selftest");
        path = dir.path();
        ASSERT_EQ(path.rfind("/tmp/testkit-selftest.", 0), 0u) << path;
        struct stat st {
        };
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(mkdir((path + "/sub").c_str(), 0700), 0);
        std::ofstream(path + "/sub/file") << "y";
        ASSERT_EQ(symlink(outside.path().c_str(), (path + "/link").c_str()), 0);
    }
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path << " is still there";
    EXPECT_EQ(access(kept.c_str(), F_OK), 0) << "the removal followed a link";
}

TEST(Namespaces, TmpfsInAPrivateNamespaceHidesTheHostsFiles)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    std::string why;
    ASSERT_TRUE(mount_tmpfs("/run", &why)) << why;
    ASSERT_TRUE(make_dirs("/run/a/b", &why)) << why;
    ASSERT_TRUE(write_file("/run/a/b/f", "xyz", &why)) << why;
    std::string back;
    ASSERT_TRUE(read_file("/run/a/b/f", back));
    EXPECT_EQ(back, "xyz");
    // A child process sees the same private tree.
    Outcome o = run({"/bin/cat", "/run/a/b/f"});
    EXPECT_EQ(o.out, "xyz");
}
