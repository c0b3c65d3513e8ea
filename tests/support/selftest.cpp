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
    Outcome o = run({"/bin/sh", "-c", "echo \"${A-unset} ${HOME-unset}\""}, {}, 5000,
                    {"A=1", "-HOME"});
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

TEST(SpectralReport, Ath11kHeadFieldsAreBigEndianAtTheirOffsets)
{
    Ath11kReport r;
    r.type = 100;
    r.freq_mhz = 0x1234;
    r.rssi = 0xabcd;
    r.timestamp = 0x01020304;
    r.bins = std::vector<uint8_t>(8, 7);
    auto b = encode_report(r);
    ASSERT_EQ(b.size(), 28u + 8u);
    EXPECT_EQ(b[0], 100);
    EXPECT_EQ((b[1] << 8) | b[2], 33);
    EXPECT_EQ(b[12], 0x12);
    EXPECT_EQ(b[13], 0x34);
    EXPECT_EQ(b[18], 0xab);
    EXPECT_EQ(b[19], 0xcd);
    EXPECT_EQ(b[20], 1);
    EXPECT_EQ(b[23], 4);
    EXPECT_EQ(b[28], 7);
}

TEST(SpectralReport, Ath10kHeadFieldsAreBigEndianAtTheirOffsets)
{
    Ath10kReport r;
    r.noise_dbm = -2;
    r.freq_mhz = 5180;
    r.timestamp = 0x0102030405060708ull;
    r.rssi = 9;
    auto b = encode_report(r);
    ASSERT_EQ(b.size(), 29u + 64u);
    EXPECT_EQ((b[1] << 8) | b[2], 90);
    EXPECT_EQ((b[4] << 8) | b[5], 5180);
    EXPECT_EQ(b[8], 0xff);
    EXPECT_EQ(b[9], 0xfe);
    EXPECT_EQ(b[16], 1);
    EXPECT_EQ(b[23], 8);
    EXPECT_EQ(b[25], 9);
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
