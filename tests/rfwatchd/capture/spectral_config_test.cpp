// SPDX-License-Identifier: MIT
// The spectral control files over a temporary directory tree standing in
// for the driver directory: resolution and feature flags, the words and
// numbers written, the driver settings, and refused writes.
#include "capture/ath10k_report.h"
#include "capture/ath11k_report.h"
#include "capture/config_error.h"
#include "capture/control_file.h"
#include "capture/scan_driver.h"
#include "capture/spectral_config.h"
#include "namespaces.h"
#include "temp_dir.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace wdtest;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace
{

const char *const ALL_FILES[] = {"spectral_scan_ctl", "spectral_bins", "spectral_scan0", "chan_bw",
                                 "freq_shift"};

class SpectralConfigTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        root_ = tmp_.path();
        ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
        dir_ = root_ + "/ath11k";
        ASSERT_EQ(mkdir(dir_.c_str(), 0755), 0);
        cfg_ = std::make_unique<SpectralConfig>();
    }

    std::string path(const char *name) const { return dir_ + "/" + name; }
    void create(const char *name, const std::string &content = "")
    {
        std::string why;
        ASSERT_TRUE(write_file(path(name), content, &why)) << why;
    }
    void create_all()
    {
        for (const char *name : ALL_FILES)
            create(name);
    }
    std::string content(const char *name) const
    {
        std::string bytes;
        EXPECT_TRUE(read_file(path(name), bytes)) << name;
        return bytes;
    }
    // Initialises quietly; returns what it printed.
    std::string init()
    {
        CaptureStderr();
        EXPECT_EQ(spectral_config_init(*cfg_, dir_.c_str()), ConfigError::Success);
        return GetCapturedStderr();
    }
    // Replaces a control file by a FIFO, so every write shows up in order,
    // without truncation hiding the earlier words. Returns the read end
    // (held read-write so the writers' opens do not block).
    int fifo(const char *name)
    {
        unlink(path(name).c_str());
        EXPECT_EQ(mkfifo(path(name).c_str(), 0644), 0);
        int fd = open(path(name).c_str(), O_RDWR | O_NONBLOCK);
        EXPECT_GE(fd, 0);
        return fd;
    }
    static std::string drain(int fd)
    {
        std::string out;
        char buffer[256];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0)
            out.append(buffer, static_cast<size_t>(n));
        return out;
    }

    wdtest::TempDir tmp_{"capture-config"};
    std::string root_;
    std::string dir_;
    std::unique_ptr<SpectralConfig> cfg_;
};

} // namespace

TEST_F(SpectralConfigTest, CompleteDirectoryResolvesEveryFile)
{
    create_all();
    std::string printed = init();
    EXPECT_EQ(printed, "Spectral config initialized for directory: " + dir_ +
                           "\nFeatures: spectral_scan narrow_channels frequency_shift\n");
    EXPECT_EQ(std::string(cfg_->directory), dir_);
    EXPECT_TRUE(cfg_->spectral_scan);
    EXPECT_TRUE(cfg_->narrow_channels);
    EXPECT_TRUE(cfg_->frequency_shift);
    EXPECT_EQ(std::string(cfg_->ctl_path), path("spectral_scan_ctl"));
    EXPECT_EQ(std::string(cfg_->bins_path), path("spectral_bins"));
    EXPECT_EQ(std::string(cfg_->chan_bw_path), path("chan_bw"));
    EXPECT_EQ(std::string(cfg_->freq_shift_path), path("freq_shift"));
    EXPECT_EQ(std::string(spectral_sample_path(*cfg_)), path("spectral_scan0"));
    EXPECT_EQ(cfg_->bin_count, 0);
}

TEST_F(SpectralConfigTest, MissingFilesOnlyClearTheirFeatures)
{
    create("spectral_scan_ctl");
    create("spectral_bins");
    create("freq_shift");
    std::string printed = init();
    EXPECT_EQ(printed, "Required file not found: " + path("spectral_scan0") +
                           "\nFeature file 'spectral_scan0' invalid: Required spectral files not "
                           "found\nRequired file not found: " +
                           path("chan_bw") +
                           "\nFeature file 'chan_bw' invalid: Required spectral files not found\n"
                           "Spectral config initialized for directory: " +
                           dir_ + "\nFeatures: frequency_shift\n");
    EXPECT_FALSE(cfg_->spectral_scan);
    EXPECT_FALSE(cfg_->narrow_channels);
    EXPECT_TRUE(cfg_->frequency_shift);
    // The path stays stored even though the file is missing.
    EXPECT_EQ(std::string(spectral_sample_path(*cfg_)), path("spectral_scan0"));
}

// Root may write to any file, and the writability test asks with the real
// user id: as root, the real id is given up around the call (the effective
// id stays, so the test can restore it).
TEST_F(SpectralConfigTest, ReadOnlyFileClearsItsFeature)
{
    create_all();
    for (const char *name : ALL_FILES)
        ASSERT_EQ(chmod(path(name).c_str(), 0666), 0);
    ASSERT_EQ(chmod(path("chan_bw").c_str(), 0444), 0);
    bool as_root = getuid() == 0;
    if (as_root) {
        ASSERT_EQ(setresuid(65534, 0, 0), 0);
    }
    CaptureStderr();
    ConfigError r = spectral_config_init(*cfg_, dir_.c_str());
    std::string printed = GetCapturedStderr();
    if (as_root) {
        ASSERT_EQ(setresuid(0, 0, 0), 0);
    }
    EXPECT_EQ(r, ConfigError::Success);
    EXPECT_TRUE(cfg_->spectral_scan);
    EXPECT_FALSE(cfg_->narrow_channels);
    EXPECT_TRUE(cfg_->frequency_shift);
    EXPECT_EQ(printed, "Required file not writable: " + path("chan_bw") +
                           "\nFeature file 'chan_bw' invalid: File access permission denied\n"
                           "Spectral config initialized for directory: " +
                           dir_ + "\nFeatures: spectral_scan frequency_shift\n");
}

TEST_F(SpectralConfigTest, MissingOrNonDirectoryIsInvalid)
{
    CaptureStderr();
    EXPECT_EQ(spectral_config_init(*cfg_, (root_ + "/nothing").c_str()),
              ConfigError::InvalidDirectory);
    create("spectral_bins");
    EXPECT_EQ(spectral_config_init(*cfg_, path("spectral_bins").c_str()),
              ConfigError::InvalidDirectory);
    EXPECT_EQ(GetCapturedStderr(), "Directory does not exist or is not accessible: " + root_ +
                                       "/nothing\nDirectory does not exist or is not accessible: " +
                                       path("spectral_bins") + "\n");
    EXPECT_FALSE(cfg_->spectral_scan);
}

TEST_F(SpectralConfigTest, PathThatWouldOverflowIsRefusedPerFile)
{
    // A directory of 4082 characters: with "/spectral_scan_ctl" (18) it
    // passes 4095, with "/chan_bw" (8) and "/freq_shift" (11) it does not.
    std::string deep = dir_;
    while (deep.size() + 201 < 4082) {
        deep += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    deep += "/" + std::string(4082 - deep.size() - 1, 'e');
    ASSERT_EQ(deep.size(), 4082u);
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    std::string why;
    ASSERT_TRUE(write_file(deep + "/chan_bw", "", &why)) << why;
    ASSERT_TRUE(write_file(deep + "/freq_shift", "", &why)) << why;

    CaptureStderr();
    ASSERT_EQ(spectral_config_init(*cfg_, deep.c_str()), ConfigError::Success);
    std::string printed = GetCapturedStderr();
    EXPECT_NE(printed.find("Path for 'spectral_scan_ctl' file would overflow buffer.\n"
                           "Feature file 'spectral_scan_ctl' invalid: Invalid directory or path "
                           "too long\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Path for 'spectral_scan0' file would overflow buffer.\n"),
              std::string::npos);
    EXPECT_EQ(printed.find("'chan_bw'"), std::string::npos);
    EXPECT_FALSE(cfg_->spectral_scan);
    EXPECT_EQ(cfg_->ctl_path[0], '\0'); // left untouched
    EXPECT_TRUE(cfg_->narrow_channels);
    EXPECT_TRUE(cfg_->frequency_shift);

    char path_buffer[SPECTRAL_PATH_SIZE] = "untouched";
    CaptureStderr();
    EXPECT_EQ(resolve_control_file(deep.c_str(), "spectral_scan_ctl", path_buffer, false),
              ConfigError::InvalidDirectory);
    GetCapturedStderr();
    EXPECT_STREQ(path_buffer, "untouched");
}

TEST_F(SpectralConfigTest, BinsAreWrittenAsTwiceTheCountWithoutALineEnd)
{
    create_all();
    init();
    cfg_->bin_count = 64;
    EXPECT_EQ(spectral_set_bins(*cfg_), ConfigError::Success);
    EXPECT_EQ(content("spectral_bins"), "128");
    // Doubled without overflowing an int.
    cfg_->bin_count = INT32_MAX;
    EXPECT_EQ(spectral_set_bins(*cfg_), ConfigError::Success);
    EXPECT_EQ(content("spectral_bins"), "4294967294");

    create("spectral_bins", "keep");
    for (int count : {0, -4}) {
        cfg_->bin_count = count;
        CaptureStderr();
        EXPECT_EQ(spectral_set_bins(*cfg_), ConfigError::InvalidParameter);
        EXPECT_EQ(GetCapturedStderr(), "Invalid bin count: " + std::to_string(count) + "\n");
    }
    EXPECT_EQ(content("spectral_bins"), "keep");
}

TEST_F(SpectralConfigTest, ScanWordsReachTheControlFileInOrder)
{
    create_all();
    init();
    int ctl = fifo("spectral_scan_ctl");
    EXPECT_EQ(spectral_start_background(*cfg_), ConfigError::Success);
    EXPECT_EQ(drain(ctl), "backgroundtrigger");
    EXPECT_EQ(spectral_start_agile(*cfg_, 5200), ConfigError::Success);
    EXPECT_EQ(drain(ctl), "agile 5200trigger");
    CaptureStderr();
    EXPECT_EQ(spectral_stop(*cfg_), ConfigError::Success);
    EXPECT_EQ(GetCapturedStderr(), "Spectral scanning stopped\n");
    EXPECT_EQ(drain(ctl), "disable");
    close(ctl);

    // A regular file keeps only the last word: each write truncates.
    unlink(path("spectral_scan_ctl").c_str());
    create("spectral_scan_ctl", "old contents");
    EXPECT_EQ(spectral_start_agile(*cfg_, -1), ConfigError::Success);
    EXPECT_EQ(content("spectral_scan_ctl"), "trigger");
}

// stdio passes a short word to the driver only when the file is closed; a
// driver that refuses it fails the close, which must not pass as success.
TEST_F(SpectralConfigTest, WordRefusedAtCloseIsAWriteFailure)
{
    create_all();
    init();
    unlink(path("spectral_scan_ctl").c_str());
    ASSERT_EQ(symlink("/dev/full", path("spectral_scan_ctl").c_str()), 0);
    CaptureStderr();
    EXPECT_EQ(spectral_start_background(*cfg_), ConfigError::WriteFailed);
    EXPECT_EQ(GetCapturedStderr(),
              "Failed to write to " + path("spectral_scan_ctl") + ": No space left on device\n");
    CaptureStderr();
    EXPECT_EQ(spectral_stop(*cfg_), ConfigError::WriteFailed);
    EXPECT_EQ(GetCapturedStderr().find("Spectral scanning stopped"), std::string::npos);

    unlink(path("spectral_bins").c_str());
    ASSERT_EQ(symlink("/dev/full", path("spectral_bins").c_str()), 0);
    cfg_->bin_count = 16;
    CaptureStderr();
    EXPECT_EQ(spectral_set_bins(*cfg_), ConfigError::WriteFailed);
    GetCapturedStderr();
}

TEST_F(SpectralConfigTest, UnopenableControlFileIsAccessDenied)
{
    create_all();
    init();
    ASSERT_EQ(rmdir(dir_.c_str()) == 0 || system(("rm -rf '" + dir_ + "'").c_str()) == 0, true);
    CaptureStderr();
    EXPECT_EQ(spectral_start_agile(*cfg_, 5180), ConfigError::AccessDenied);
    EXPECT_EQ(GetCapturedStderr(), "Failed to open " + path("spectral_scan_ctl") +
                                       " for writing: No such file or directory\n");
}

TEST_F(SpectralConfigTest, CleanupAlwaysZeroesTheConfiguration)
{
    create_all();
    init();
    cfg_->bin_count = 32;
    CaptureStderr();
    EXPECT_EQ(spectral_config_cleanup(*cfg_), ConfigError::Success);
    EXPECT_EQ(GetCapturedStderr(), "Spectral scanning stopped\nSpectral config cleaned up\n");
    EXPECT_EQ(content("spectral_scan_ctl"), "disable");
    EXPECT_EQ(cfg_->bin_count, 0);
    EXPECT_EQ(cfg_->directory[0], '\0');

    init();
    unlink(path("spectral_scan_ctl").c_str());
    ASSERT_EQ(symlink("/dev/full", path("spectral_scan_ctl").c_str()), 0);
    CaptureStderr();
    EXPECT_EQ(spectral_config_cleanup(*cfg_), ConfigError::WriteFailed);
    std::string printed = GetCapturedStderr();
    EXPECT_EQ(printed.find("Spectral scanning stopped"), std::string::npos);
    EXPECT_NE(printed.find("Spectral config cleaned up\n"), std::string::npos);
    EXPECT_FALSE(cfg_->spectral_scan);
    EXPECT_EQ(cfg_->ctl_path[0], '\0');
}

TEST_F(SpectralConfigTest, DriverSettingsAreReadAsDecimalNumbers)
{
    create_all();
    create("chan_bw", "  42\n7\n");
    create("freq_shift", "-15 MHz");
    init();
    DriverSettings s{1, 2};
    EXPECT_EQ(spectral_read_driver_settings(*cfg_, s), ConfigError::Success);
    EXPECT_EQ(s.chan_bw, 42);
    EXPECT_EQ(s.freq_shift, -15);

    create("chan_bw", "narrow");
    create("freq_shift", "99999999999999999999\n");
    CaptureStderr();
    EXPECT_EQ(spectral_read_driver_settings(*cfg_, s), ConfigError::Success);
    EXPECT_EQ(GetCapturedStderr(), "Error interpreting number: Numerical result out of range\n");
    EXPECT_EQ(s.chan_bw, 0);
    EXPECT_EQ(s.freq_shift, INT64_MAX);

    create("chan_bw", "");
    CaptureStderr();
    EXPECT_EQ(spectral_read_driver_settings(*cfg_, s), ConfigError::AccessDenied);
    EXPECT_EQ(GetCapturedStderr(), "Error processing chan_bw: File access permission denied\n");

    unlink(path("chan_bw").c_str());
    unlink(path("freq_shift").c_str());
    CaptureStderr();
    EXPECT_EQ(spectral_read_driver_settings(*cfg_, s), ConfigError::AccessDenied);
    GetCapturedStderr();
}

TEST_F(SpectralConfigTest, DriverSettingsSkipAbsentFeatures)
{
    create("spectral_scan_ctl");
    create("spectral_bins");
    create("spectral_scan0");
    init();
    ASSERT_FALSE(cfg_->narrow_channels);
    ASSERT_FALSE(cfg_->frequency_shift);
    DriverSettings s{5, 6};
    CaptureStderr();
    EXPECT_EQ(spectral_read_driver_settings(*cfg_, s), ConfigError::Success);
    EXPECT_EQ(spectral_write_driver_settings(*cfg_, DriverSettings{0, 0}), ConfigError::Success);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(s.chan_bw, 5);
    EXPECT_EQ(s.freq_shift, 6);
}

TEST_F(SpectralConfigTest, DriverSettingsAreWrittenAsDecimalText)
{
    create_all();
    init();
    CaptureStderr();
    EXPECT_EQ(spectral_write_driver_settings(*cfg_, DriverSettings{-3, 9000000000}),
              ConfigError::Success);
    EXPECT_EQ(GetCapturedStderr(), "Setting chan_bw to: -3\nSetting freq_shift to: 9000000000\n");
    EXPECT_EQ(content("chan_bw"), "-3");
    EXPECT_EQ(content("freq_shift"), "9000000000");

    unlink(path("freq_shift").c_str());
    ASSERT_EQ(symlink("/dev/full", path("freq_shift").c_str()), 0);
    CaptureStderr();
    EXPECT_EQ(spectral_write_driver_settings(*cfg_, DriverSettings{1, 2}),
              ConfigError::WriteFailed);
    std::string printed = GetCapturedStderr();
    EXPECT_NE(printed.find("Error processing freq_shift: Failed to write to file\n"),
              std::string::npos)
        << printed;
}

// The first setting that fails ends the operation: the second is neither
// read nor written, and the message names the setting that failed.
TEST_F(SpectralConfigTest, DriverSettingsStopAtTheFirstFailure)
{
    create_all();
    create("chan_bw", "20");
    init();
    DriverSettings s{1, 2};
    CaptureStderr();
    EXPECT_EQ(spectral_read_driver_settings(*cfg_, s), ConfigError::AccessDenied);
    EXPECT_EQ(GetCapturedStderr(), "Error processing freq_shift: File access permission denied\n");
    EXPECT_EQ(s.chan_bw, 20);
    EXPECT_EQ(s.freq_shift, 2);

    unlink(path("chan_bw").c_str());
    ASSERT_EQ(symlink("/dev/full", path("chan_bw").c_str()), 0);
    CaptureStderr();
    EXPECT_EQ(spectral_write_driver_settings(*cfg_, DriverSettings{5, 6}),
              ConfigError::WriteFailed);
    std::string printed = GetCapturedStderr();
    EXPECT_EQ(printed.rfind("Setting chan_bw to: 5\n", 0), 0u) << printed;
    EXPECT_NE(printed.find("Error processing chan_bw: Failed to write to file\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("freq_shift"), std::string::npos) << printed;
    EXPECT_EQ(content("freq_shift"), "");
}

TEST(ConfigErrorMessages, TableAndUnknownCodes)
{
    EXPECT_STREQ(config_error_message(ConfigError::Success), "Success");
    EXPECT_STREQ(config_error_message(ConfigError::AccessDenied), "File access permission denied");
    EXPECT_STREQ(config_error_message(7u), "Problem while interacting with a driver feature");
    EXPECT_STREQ(config_error_message(8u), "Unknown error");
}

TEST(ScanDrivers, TableOrderAndParsers)
{
    EXPECT_STREQ(scan_drivers[0].name, "ath11k");
    EXPECT_EQ(scan_drivers[0].parse, &parse_ath11k_report);
    EXPECT_STREQ(scan_drivers[1].name, "ath10k");
    EXPECT_EQ(scan_drivers[1].parse, &parse_ath10k_report);
}
