// SPDX-License-Identifier: MIT
// Driver detection at the fixed debugfs paths, in a private mount namespace
// with a tmpfs over /sys/kernel/debug.
#include "capture/scan_driver.h"
#include "capture/spectral_config.h"
#include "namespaces.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace wdtest;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace
{

const std::string DEBUGFS = "/sys/kernel/debug";

void fresh_debugfs()
{
    std::string why;
    ASSERT_TRUE(mount_tmpfs(DEBUGFS, &why)) << why;
}

void make(const std::string &path)
{
    std::string why;
    ASSERT_TRUE(make_dirs(path, &why)) << why;
}

} // namespace

TEST(DriverDetection, Ath11kWinsWhenBothDirectoriesExist)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    fresh_debugfs();
    make(DEBUGFS + "/ieee80211/phy3/ath10k");
    make(DEBUGFS + "/ieee80211/phy3/ath11k");
    CaptureStderr();
    const ScanDriver *driver = find_spectral_driver(3);
    EXPECT_EQ(GetCapturedStderr(),
              "phy3: Found ath11k driver directory at /sys/kernel/debug/ieee80211/phy3/ath11k\n");
    EXPECT_EQ(driver, &scan_drivers[0]);
}

TEST(DriverDetection, Ath10kAloneIsFound)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    fresh_debugfs();
    make(DEBUGFS + "/ieee80211/phy0/ath10k");
    CaptureStderr();
    const ScanDriver *driver = find_spectral_driver(0);
    EXPECT_EQ(GetCapturedStderr(),
              "phy0: Found ath10k driver directory at /sys/kernel/debug/ieee80211/phy0/ath10k\n");
    EXPECT_EQ(driver, &scan_drivers[1]);
}

TEST(DriverDetection, NeitherGivesFourLinesAth10kPathFirst)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    fresh_debugfs();
    make(DEBUGFS + "/ieee80211/phy1/ath11k"); // another phy's
    CaptureStderr();
    const ScanDriver *driver = find_spectral_driver(4294967295u);
    EXPECT_EQ(GetCapturedStderr(),
              "phy4294967295: No ath10k or ath11k driver directories found in debugfs\n"
              "  Checked: /sys/kernel/debug/ieee80211/phy4294967295/ath10k\n"
              "  Checked: /sys/kernel/debug/ieee80211/phy4294967295/ath11k\n"
              "  Hint: Ensure debugfs is mounted and phy4294967295 has spectral capabilities\n");
    EXPECT_EQ(driver, nullptr);
}

TEST(DriverDetection, DetectedDirectoryInitialisesAConfiguration)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    fresh_debugfs();
    std::string dir = DEBUGFS + "/ieee80211/phy2/ath11k";
    make(dir);
    std::string why;
    for (const char *name : {"spectral_scan_ctl", "spectral_bins", "spectral_scan0"})
        ASSERT_TRUE(write_file(dir + "/" + name, "", &why)) << why;
    CaptureStderr();
    const ScanDriver *driver = find_spectral_driver(2);
    ASSERT_NE(driver, nullptr);
    std::string built = "/sys/kernel/debug/ieee80211/phy2/" + std::string(driver->name);
    auto cfg = std::make_unique<SpectralConfig>();
    EXPECT_EQ(spectral_config_init(*cfg, built.c_str()), ConfigError::Success);
    cfg->bin_count = 256;
    EXPECT_EQ(spectral_set_bins(*cfg), ConfigError::Success);
    EXPECT_EQ(spectral_config_cleanup(*cfg), ConfigError::Success);
    std::string printed = GetCapturedStderr();
    EXPECT_NE(printed.find("Features: spectral_scan\n"), std::string::npos) << printed;
    std::string bytes;
    ASSERT_TRUE(read_file(dir + "/spectral_bins", bytes));
    EXPECT_EQ(bytes, "512");
    ASSERT_TRUE(read_file(dir + "/spectral_scan_ctl", bytes));
    EXPECT_EQ(bytes, "disable");
}

// Without the capabilities that let root look past file modes (access()
// checks with the permitted set, so they go for good: in a child), a
// mode-0 directory refuses the look as it refuses an unprivileged daemon.
TEST(DriverDetection, ARefusedLookIsNamedAfterTheFourLines)
{
    WD_REQUIRE_PRIVATE_MOUNTS();
    fresh_debugfs();
    make(DEBUGFS + "/ieee80211/phy6/ath11k");
    ASSERT_EQ(chmod((DEBUGFS + "/ieee80211/phy6").c_str(), 0), 0);
    auto detect_unprivileged = [] {
        __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        syscall(SYS_capget, &head, data);
        uint32_t bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        data[0].effective &= ~bits;
        data[0].permitted &= ~bits;
        if (syscall(SYS_capset, &head, data) != 0)
            _exit(2);
        _exit(find_spectral_driver(6) ? 1 : 0);
    };
    EXPECT_EXIT(detect_unprivileged(), testing::ExitedWithCode(0),
                "^phy6: No ath10k or ath11k driver directories found in debugfs\n"
                "  Checked: /sys/kernel/debug/ieee80211/phy6/ath10k\n"
                "  Checked: /sys/kernel/debug/ieee80211/phy6/ath11k\n"
                "  Hint: Ensure debugfs is mounted and phy6 has spectral capabilities\n"
                "  Could not check /sys/kernel/debug/ieee80211/phy6/ath10k: Permission denied\n$");
}
