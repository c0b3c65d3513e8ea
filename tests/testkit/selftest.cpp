// The shared helpers are used by every component test; a fault here would
// show up as confusing failures elsewhere, so pin their behaviour.
#include "namespaces.h"
#include "spectral_report.h"
#include "subprocess.h"

#include <csignal>
#include <gtest/gtest.h>

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
