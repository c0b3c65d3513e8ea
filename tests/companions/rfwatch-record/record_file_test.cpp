// SPDX-License-Identifier: MIT
// The recording file of rfwatch-record: rotation keeps every record, in
// order, across FILE.1 and FILE within the bound.
#include "line_record.h"
#include "record_file.h"
#include "recording_file.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(RecordFile, RotatesWithinTheBoundAndLosesNothing)
{
    struct Case {
        size_t lines;
        size_t bins;
        uint64_t max_bytes;
        uint64_t rotations;
    };
    // A 64-bin frame record is 169 bytes.
    const Case cases[] = {
        {20, 64, 1 << 20, 0}, // fits
        {100, 64, 8192, 2},   // FILE.1 replaced once
        {60, 512, 17000, 3},  // records of 1065 bytes: 15 a file
    };
    for (const Case &c : cases) {
        wdtest::TempDir tmp("record-file");
        const std::string path = tmp.path() + "/r.rfwrec";
        RecordFile f;
        record_file_init(f, path, c.max_bytes, {"wlan0", "ath11k", "dBm", "s", "test", 0});
        LineRecord rec;
        std::vector<std::string> sent;
        for (size_t i = 0; i < c.lines; i++) {
            std::vector<double> bins = wdtest::ramp_bins(c.bins);
            sent.push_back(wdtest::spectrum_line({0, 5180, 20, -109, 40, i, 1, bins}));
            line_record_from_line(sent.back(), rec);
            ASSERT_TRUE(record_file_write(f, rec.type, 1000 + i, rec.body, 0)) << f.error;
        }
        record_file_close(f);
        EXPECT_EQ(f.rotations, c.rotations) << c.max_bytes;
        std::vector<std::string> got = wdtest::texts_of(wdtest::read_recording(path + ".1"));
        const std::vector<std::string> newest = wdtest::texts_of(wdtest::read_recording(path));
        got.insert(got.end(), newest.begin(), newest.end());
        // The older pair member may be gone (replaced): what is there ends
        // with the last line sent and has no gap.
        ASSERT_FALSE(got.empty());
        ASSERT_LE(got.size(), sent.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.end() - static_cast<long>(got.size())))
            << c.max_bytes;
        if (c.rotations < 2) {
            EXPECT_EQ(got.size(), sent.size()) << c.max_bytes;
        }
        for (const std::string &p : {path, path + ".1"})
            EXPECT_LE(std::filesystem::exists(p) ? std::filesystem::file_size(p) : 0, c.max_bytes);
    }
}
