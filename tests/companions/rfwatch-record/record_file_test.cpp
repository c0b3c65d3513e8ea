// The recording file of rfwatch-record: rotation keeps every record, in
// order, across FILE.1 and FILE within the bound; a file that is not a
// recording is never taken.
#include "line_record.h"
#include "record_file.h"
#include "recording_reader.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

// The lines of a recording, in order; Notes left out.
std::vector<std::string> lines_of(const std::string &path)
{
    std::vector<std::string> out;
    RecordingReader r;
    if (recording_open(r, path.c_str()) != OpenResult::Ok)
        return out;
    RecordingReaderGuard guard{r};
    Record rec;
    std::string line;
    while (recording_next(r, rec) == ReadResult::Record)
        if (line_from_record(rec.type, rec.body, line))
            out.push_back(line);
    return out;
}

uint64_t size_of(const std::string &path)
{
    struct stat st {
    };
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

} // namespace

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
        std::vector<std::string> got = lines_of(path + ".1");
        const std::vector<std::string> newest = lines_of(path);
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
        EXPECT_LE(size_of(path), c.max_bytes);
        EXPECT_LE(size_of(path + ".1"), c.max_bytes);
    }
}

TEST(RecordFile, TakesOnlyRecordingsOrNewFiles)
{
    wdtest::TempDir tmp("record-file");
    const std::string dir = tmp.path();
    {
        RecordFile f;
        record_file_init(f, dir + "/old.rfwrec", 1 << 20, {"wlan0", "", "", "s", "test", 0});
        ASSERT_TRUE(record_file_write(f, RecordType::Note, 1, R"({"note":"x"})", 0));
        record_file_close(f);
    }
    std::ofstream(dir + "/text.txt") << "not a recording\n";
    struct Case {
        std::string path;
        bool usable;
        const char *reason;
    };
    const Case cases[] = {
        {dir + "/old.rfwrec", true, ""},
        {dir + "/new.rfwrec", true, ""},
        {dir + "/text.txt", false, "not a recording"},
        {dir + "/missing/new.rfwrec", false, "cannot create files in"},
    };
    for (const Case &c : cases) {
        std::string error;
        EXPECT_EQ(record_file_usable(c.path, error), c.usable) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    std::ifstream text(dir + "/text.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(text), {}), "not a recording\n");
}
