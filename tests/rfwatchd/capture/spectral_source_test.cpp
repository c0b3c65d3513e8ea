// SPDX-License-Identifier: MIT
// The sample source over a stand-in sample file: a regular file the test
// rewrites between reads (each refill reads it from the start, as the relay
// file hands out what is queued) or a pipe the test writes.
#include "capture/spectral_source.h"
#include "namespaces.h"
#include "spectral_report.h"
#include "temp_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace wdtest;

namespace
{

class SpectralSourceTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir_.path().empty());
        path_ = dir_.path() + "/spectral_scan0";
        write(std::vector<uint8_t>{});
    }
    void TearDown() override { source_free(&source_); }

    void write(const std::vector<uint8_t> &bytes)
    {
        std::string why;
        ASSERT_TRUE(
            write_file(path_, {reinterpret_cast<const char *>(bytes.data()), bytes.size()}, &why))
            << why;
    }
    void init(const ScanDriver &driver = scan_drivers[0])
    {
        testing::internal::CaptureStderr();
        ASSERT_EQ(source_init(source_, driver, path_.c_str()), SourceError::Success);
        init_message_ = testing::internal::GetCapturedStderr();
    }

    wdtest::TempDir dir_{"capture-source"};
    std::string path_;
    std::string init_message_;
    SpectralSource source_{};
    SpectralSample sample_{};
};

Ath11kReport numbered(uint16_t freq, size_t bins = 64)
{
    Ath11kReport r;
    r.freq_mhz = freq;
    r.bins = std::vector<uint8_t>(bins, static_cast<uint8_t>(freq & 0x7f));
    return r;
}

} // namespace

TEST_F(SpectralSourceTest, InitCopiesThePathAndSaysItIsReadBased)
{
    init(scan_drivers[1]);
    EXPECT_EQ(init_message_,
              "Initialized spectral source: " + path_ + " with driver ath10k (read-based)\n");
    EXPECT_NE(source_.path, path_.c_str());
    EXPECT_EQ(std::string(source_.path), path_);
    EXPECT_EQ(source_.capacity, 2097152u);
    EXPECT_EQ(source_.filled, 0u);
    EXPECT_EQ(source_.position, 0u);
    EXPECT_EQ(source_.driver, &scan_drivers[1]);
}

TEST_F(SpectralSourceTest, OneReportThenAnEmptyReadGivesNoData)
{
    write(encode_report(numbered(2412)));
    init();
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 2412);
    EXPECT_EQ(source_.position, source_.filled);

    // At once: the main loop paces the reads in its poll.
    write({});
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::NoData);
}

TEST_F(SpectralSourceTest, ShortReadEndingInHalfAReportDropsItAfterReset)
{
    std::vector<uint8_t> bytes;
    for (uint16_t f = 5180; f < 5185; ++f)
        append_report(bytes, numbered(f));
    std::vector<uint8_t> half = encode_report(numbered(6000));
    bytes.insert(bytes.end(), half.begin(), half.begin() + 40);
    write(bytes);
    init();
    for (uint16_t f = 5180; f < 5185; ++f) {
        ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
        EXPECT_EQ(sample_.freq_mhz, f);
    }
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::NoData);
    source_reset(&source_);
    EXPECT_EQ(source_.filled, 0u);
    EXPECT_EQ(source_.carried, 0u);

    // The next read is a fresh chunk: the lost half does not prefix it.
    write(encode_report(numbered(2462)));
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 2462);
}

TEST_F(SpectralSourceTest, FillerOnlyChunkIsNoDataWithEverythingConsumed)
{
    write(std::vector<uint8_t>(1000, 0));
    init();
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::NoData);
    EXPECT_EQ(source_.position, 1000u);
    EXPECT_EQ(source_.filled, 1000u);
}

TEST_F(SpectralSourceTest, InvalidReportInTheMiddleIsSkipped)
{
    std::vector<uint8_t> bytes;
    append_report(bytes, numbered(1));
    append_report(bytes, numbered(2, 100)); // 100 bins: invalid
    append_report(bytes, numbered(3));
    write(bytes);
    init();
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 1);
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::InvalidSample);
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 3);
}

TEST_F(SpectralSourceTest, MissingFileIsAReadErrorAndLeavesTheBufferAlone)
{
    write(encode_report(numbered(10)));
    init();
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    unlink(path_.c_str());
    size_t filled = source_.filled;
    testing::internal::CaptureStderr();
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::FileReadError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to open " + path_ + ": No such file or directory\n");
    EXPECT_EQ(source_.filled, filled);

    // The next call opens again.
    write(encode_report(numbered(11)));
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 11);
}

TEST_F(SpectralSourceTest, ReadFailureIsReportedWithTheSystemText)
{
    // A directory opens read-only but cannot be read.
    unlink(path_.c_str());
    ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
    init();
    testing::internal::CaptureStderr();
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::FileReadError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Read failed on " + path_ + ": Is a directory\n");
    rmdir(path_.c_str());
}

TEST_F(SpectralSourceTest, PipeStandInDeliversWhatWasWritten)
{
    unlink(path_.c_str());
    ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
    // Holding the pipe open for both ends lets the source's open succeed
    // without waiting for a writer.
    int keep = open(path_.c_str(), O_RDWR);
    ASSERT_GE(keep, 0);
    init(scan_drivers[1]);
    std::vector<uint8_t> bytes;
    Ath10kReport r;
    r.freq_mhz = 5300;
    append_report(bytes, r);
    r.freq_mhz = 5320;
    append_report(bytes, r);
    ASSERT_EQ(::write(keep, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 5300);
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, 5320);
    close(keep);
}

// A read that fills the whole buffer stops at the byte count asked for and
// may cut a report in two: the tail is kept, survives the caller's reset,
// and the next read completes it, so no report is lost or misread.
TEST_F(SpectralSourceTest, ReportSplitByAFullBufferReadIsCompletedByTheNextRead)
{
    std::vector<uint8_t> stream;
    uint16_t freq = 1;
    while (stream.size() < SPECTRAL_SOURCE_CAPACITY + 5000)
        append_report(stream, numbered(freq++, 512));
    uint16_t total = static_cast<uint16_t>(freq - 1);
    ASSERT_NE(SPECTRAL_SOURCE_CAPACITY % 540, 0u); // the cut falls inside a report

    write(std::vector<uint8_t>(stream.begin(), stream.begin() + SPECTRAL_SOURCE_CAPACITY));
    init();
    uint16_t expected = 1;
    SourceError r;
    while ((r = source_next_sample(source_, sample_)) == SourceError::Success) {
        ASSERT_EQ(sample_.freq_mhz, expected);
        ++expected;
    }
    EXPECT_EQ(r, SourceError::NoData);
    source_reset(&source_);
    EXPECT_GT(source_.carried, 0u);

    // The relay file now hands out what followed the first read.
    write(std::vector<uint8_t>(stream.begin() + SPECTRAL_SOURCE_CAPACITY, stream.end()));
    for (; expected <= total; ++expected) {
        ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
        ASSERT_EQ(sample_.freq_mhz, expected);
        ASSERT_EQ(sample_.bin_count, 512u);
        ASSERT_EQ(sample_.bins[0], sample_.bins[511]);
    }
    EXPECT_EQ(source_.position, source_.filled);
    write({});
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::NoData);
}

// A short read is what the relay file had queued: a report cut there is
// left incomplete by the driver, and keeping it would prefix the next
// read with garbage.
TEST_F(SpectralSourceTest, ShortReadDoesNotCarryItsTail)
{
    std::vector<uint8_t> bytes = encode_report(numbered(9, 512));
    bytes.resize(300);
    write(bytes);
    init();
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::NoData);
    source_reset(&source_);
    EXPECT_EQ(source_.carried, 0u);
}

TEST_F(SpectralSourceTest, CarriedTailWaitsThroughEmptyReads)
{
    std::vector<uint8_t> stream;
    uint16_t freq = 1;
    while (stream.size() < SPECTRAL_SOURCE_CAPACITY + 600)
        append_report(stream, numbered(freq++, 512));
    write(std::vector<uint8_t>(stream.begin(), stream.begin() + SPECTRAL_SOURCE_CAPACITY));
    init();
    size_t decoded = 0;
    while (source_next_sample(source_, sample_) == SourceError::Success)
        ++decoded;
    source_reset(&source_);
    size_t carried = source_.carried;
    write({});
    EXPECT_EQ(source_next_sample(source_, sample_), SourceError::NoData);
    source_reset(&source_);
    EXPECT_EQ(source_.carried, carried);
    write(std::vector<uint8_t>(stream.begin() + SPECTRAL_SOURCE_CAPACITY, stream.end()));
    ASSERT_EQ(source_next_sample(source_, sample_), SourceError::Success);
    EXPECT_EQ(sample_.freq_mhz, decoded + 1);
}

TEST(SpectralSourceLifecycle, ResetAndFreeAcceptAbsentAndEmptySources)
{
    source_reset(nullptr);
    source_free(nullptr);
    SpectralSource empty{};
    source_free(&empty);
    source_free(&empty);
    EXPECT_EQ(empty.buffer, nullptr);
    SpectralSample sample{};
    EXPECT_EQ(source_next_sample(empty, sample), SourceError::InvalidParameters);
}

TEST(SourceErrorMessages, TableAndUnknownCodes)
{
    EXPECT_STREQ(source_error_message(SourceError::Success), "Success");
    EXPECT_STREQ(source_error_message(SourceError::NoData), "No data available");
    EXPECT_STREQ(source_error_message(-7), "Invalid sample data");
    EXPECT_STREQ(source_error_message(-11), "Sample cannot be parsed by this driver");
    EXPECT_STREQ(source_error_message(-12), "Unknown error");
    EXPECT_STREQ(source_error_message(1), "Unknown error");
}
