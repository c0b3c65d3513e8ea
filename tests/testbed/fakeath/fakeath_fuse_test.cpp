// SPDX-License-Identifier: MIT
// fakeath over a real FUSE mount at the fixed debugfs paths, in a private
// mount namespace: what a daemon sees through the kernel (close failing on
// a refused word, reads consuming, one read carrying a burst).
#include "namespaces.h"
#include "subprocess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

const std::string DEBUGFS = "/sys/kernel/debug";
const std::string DIR = DEBUGFS + "/ieee80211/phy0/ath11k";

#define REQUIRE_FUSE_MOUNT()                                                                       \
    do {                                                                                           \
        if (access("/dev/fuse", R_OK | W_OK) != 0)                                                 \
            GTEST_SKIP() << "SKIPPED: /dev/fuse is not usable here";                               \
        WD_REQUIRE_PRIVATE_MOUNTS();                                                               \
        std::string why_;                                                                          \
        ASSERT_TRUE(wdtest::mount_tmpfs(DEBUGFS, &why_)) << why_;                                  \
    } while (0)

// The daemon's way: fopen "w", fwrite, fclose. Returns fclose's errno or 0.
int write_word(const std::string &file, const std::string &word)
{
    FILE *f = fopen((DIR + "/" + file).c_str(), "w");
    if (!f)
        return errno;
    fwrite(word.data(), 1, word.size(), f);
    return fclose(f) == 0 ? 0 : errno;
}

// One read of up to 2 MiB, as the sample source does.
long read_once(std::vector<uint8_t> &buf)
{
    buf.assign(2u << 20, 0);
    int fd = open((DIR + "/spectral_scan0").c_str(), O_RDONLY);
    if (fd < 0)
        return -errno;
    ssize_t n = read(fd, buf.data(), buf.size());
    int err = errno;
    close(fd);
    if (n < 0)
        return -err;
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
}

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct Fakeath {
    wdtest::Child child;
    bool start(std::vector<std::string> args)
    {
        args.insert(args.begin(), FAKEATH_BIN);
        std::string why;
        if (!child.start(args, {}, &why)) {
            ADD_FAILURE() << why;
            return false;
        }
        return child.read_until_contains("fakeath: serving", 10000);
    }
};

} // namespace

TEST(FakeathFuse, ControlWordsAndConsumptionThroughTheKernel)
{
    REQUIRE_FUSE_MOUNT();
    Fakeath fa;
    ASSERT_TRUE(fa.start({"--freq", "5180", "--width", "40", "--rate", "500", "--refuse-at-close",
                          "agile", "--log", DEBUGFS + "/words"}))
        << fa.child.err();
    EXPECT_EQ(write_word("spectral_bins", "256"), 0);
    EXPECT_EQ(write_word("spectral_scan_ctl", "background"), 0);
    EXPECT_EQ(write_word("spectral_scan_ctl", "trigger"), 0);
    EXPECT_EQ(write_word("spectral_scan_ctl", "sweep"), EINVAL);
    // Accepted at write, refused when the file is closed.
    EXPECT_EQ(write_word("spectral_scan_ctl", "agile 5200"), EIO);

    sleep_ms(200);
    std::vector<uint8_t> a, b;
    ASSERT_GT(read_once(a), 0);
    // Whole reports of 128 bins, centred on the fixed channel.
    ASSERT_EQ(a.size() % (28 + 128), 0u) << a.size();
    EXPECT_EQ(a[0], 4);
    EXPECT_EQ(a[12] << 8 | a[13], 5180);
    EXPECT_EQ(a[3], 40);
    // What was read is gone: an immediate second read holds only reports
    // generated since, never the same bytes again.
    read_once(b);
    EXPECT_LT(b.size(), a.size());
    EXPECT_EQ(write_word("spectral_scan_ctl", "disable"), 0);
    read_once(b);
    EXPECT_EQ(read_once(b), 0);

    std::string bins;
    ASSERT_TRUE(wdtest::read_file(DIR + "/spectral_bins", bins));
    EXPECT_EQ(bins, "256\n");
    std::string words;
    ASSERT_TRUE(wdtest::read_file(DEBUGFS + "/words", words));
    EXPECT_EQ(words, "spectral_bins 256\n"
                     "spectral_scan_ctl background\n"
                     "spectral_scan_ctl trigger\n"
                     "spectral_scan_ctl sweep refused\n"
                     "spectral_scan_ctl agile 5200 refused-at-close\n"
                     "spectral_scan_ctl disable\n");

    fa.child.send_signal(SIGTERM);
    wdtest::Outcome o = fa.child.finish(10000);
    EXPECT_TRUE(o.exited);
    EXPECT_EQ(o.status, 0) << o.err;
    struct stat st {
    };
    // Unmounted: the directory is the empty tmpfs one again.
    EXPECT_EQ(stat((DIR + "/spectral_scan0").c_str(), &st), -1);
}

TEST(FakeathFuse, ABurstOfMoreThanAThousandReportsComesInOneRead)
{
    REQUIRE_FUSE_MOUNT();
    Fakeath fa;
    ASSERT_TRUE(fa.start({"--freq", "2437", "--rate", "1", "--burst", "3000", "--types", "4"}));
    EXPECT_EQ(write_word("spectral_bins", "128"), 0);
    EXPECT_EQ(write_word("spectral_scan_ctl", "background"), 0);
    EXPECT_EQ(write_word("spectral_scan_ctl", "trigger"), 0);
    std::vector<uint8_t> a;
    // 3000 reports of 92 bytes: larger than one FUSE request, still one read.
    EXPECT_GE(read_once(a), 3000 * 92);
    EXPECT_EQ(a.size() % 92, 0u);
}

TEST(FakeathFuse, FailedReadsReachTheReader)
{
    REQUIRE_FUSE_MOUNT();
    Fakeath fa;
    ASSERT_TRUE(fa.start({"--freq", "2437", "--fail-reads", "1"}));
    std::vector<uint8_t> a;
    EXPECT_EQ(read_once(a), -EIO);
    EXPECT_EQ(read_once(a), 0);
}

TEST(FakeathFwDiag, TheFeederWritesTheFileIntoTheFifoAndEnds)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    std::string why;
    ASSERT_TRUE(wdtest::mount_tmpfs(DEBUGFS, &why)) << why;
    std::string records(1000, '\0');
    for (size_t i = 0; i < records.size(); ++i)
        records[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(wdtest::write_file(DEBUGFS + "/records.bin", records, &why)) << why;
    wdtest::Child feeder;
    ASSERT_TRUE(feeder.start({FAKEATH_BIN, "--fw-diag", DEBUGFS + "/records.bin", "--fw-diag-chunk",
                              "300", "--fw-diag-eof"},
                             {}, &why))
        << why;
    ASSERT_TRUE(feeder.read_until_contains("feeding", 10000));
    const std::string fifo = DEBUGFS + "/ath11k/pci-0000:01:00.0/fw_diag";
    struct stat st {
    };
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    int fd = open(fifo.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::string got;
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    close(fd);
    EXPECT_EQ(got, records);
    wdtest::Outcome o = feeder.finish(10000);
    EXPECT_EQ(o.status, 0) << o.err;
}
