// SPDX-License-Identifier: MIT
// A recorder's file must give back what the daemon sent, byte for byte and
// in its order, and a power cut must lose at most the record being written.
#include "frame.h"
#include "line_record.h"
#include "recording_file.h"
#include "recording_reader.h"
#include "recording_writer.h"

#include "air_line_text.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace
{

constexpr double NULL_BIN = std::numeric_limits<double>::quiet_NaN();

std::string file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct ReadBack {
    OpenResult open;
    std::vector<RecordType> types;
    std::vector<uint64_t> times;
    std::vector<std::string> lines; // Notes as their bodies
    ReadResult end;
};

ReadBack read_back(const std::string &path)
{
    ReadBack out{};
    RecordingReader r;
    RecordingReaderGuard guard{r};
    out.open = recording_open(r, path.c_str());
    Record rec;
    while ((out.end = recording_next(r, rec)) == ReadResult::Record) {
        std::string line;
        if (!line_from_record(rec.type, rec.body, line))
            line.assign(rec.body.begin(), rec.body.end());
        out.types.push_back(rec.type);
        out.times.push_back(rec.time_us);
        out.lines.push_back(line);
    }
    return out;
}

RecordingHeader test_header()
{
    // Names come from options and paths: quotes, backslashes and control
    // characters must survive the header's JSON.
    return {"wl\"an\\0\x01", "ath11k", "dBm", "/run/rfwatchd/wlan0.sock", "test", 1700000000000000};
}

std::string with_bins(std::vector<double> bins, int noise = -109, unsigned rssi = 40)
{
    wdtest::SpectrumLine l;
    l.noise_dbm = noise;
    l.rssi = rssi;
    l.bins = std::move(bins);
    return wdtest::spectrum_line(l);
}

// The lines of a small recording: a frame, a text and a frame record.
std::vector<wdtest::RecordedLine> three_lines()
{
    return {{10, with_bins({-95.12, -80})}, {20, "{\"air\":1}"}, {30, with_bins({1, 2, 3})}};
}

} // namespace

TEST(Recording, LinesComeBackByteForByteInTheRecordTheyNeed)
{
    std::string odd_count = with_bins({-90, -91});
    odd_count.replace(odd_count.find("\"bin_count\":2"), 13, "\"bin_count\":7");
    wdtest::SpectrumLine late;
    late.bins = {-90};
    // Beyond a double's whole numbers: the general parser cannot keep it, the
    // daemon-form reader does.
    late.timestamp = (uint64_t{1} << 53) + 1;
    const std::string late_line = wdtest::spectrum_line(late);
    wdtest::AirLineText air;
    air.signals.push_back({});
    const struct {
        const char *name;
        std::string line;
        RecordType type;
    } cases[] = {
        {"ath11k dBm", with_bins(wdtest::ramp_bins(64)), RecordType::Frame},
        {"ath10k magnitudes", with_bins({0, 1, 255, 17}, -96, 200), RecordType::Frame},
        {"null bins", with_bins({NULL_BIN, -90.5, NULL_BIN}), RecordType::Frame},
        {"one bin", with_bins({-100.01}), RecordType::Frame},
        {"512 bins", with_bins(wdtest::ramp_bins(512)), RecordType::Frame},
        {"limits of the frame", with_bins({327.67, -327.67, 0.01, -0.01}), RecordType::Frame},
        {"negative zero", with_bins({-0.0, -90}), RecordType::Line},
        {"beyond 327.67", with_bins({-400.25, 500}), RecordType::Line},
        {"bin_count not the bins", odd_count, RecordType::Line},
        {"rssi beyond 65535", with_bins({-90}, -95, 70000), RecordType::Line},
        {"timestamp beyond 2^53", late_line, RecordType::Frame},
        {"air line", wdtest::air_line(air), RecordType::Line},
        {"not JSON", "hello", RecordType::Line},
    };
    wdtest::TempDir dir("recording");
    std::vector<wdtest::RecordedLine> lines;
    uint64_t t = 1700000000000000;
    for (const auto &c : cases)
        lines.push_back({t += 97, c.line});
    const std::string path = dir.path() + "/r.rfwrec";
    ASSERT_TRUE(wdtest::write_recording(path, test_header(), lines));

    ReadBack back = read_back(path);
    ASSERT_EQ(back.open, OpenResult::Ok);
    EXPECT_EQ(back.end, ReadResult::End);
    ASSERT_EQ(back.lines.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(back.types[i], cases[i].type);
        EXPECT_EQ(back.lines[i], cases[i].line);
        EXPECT_EQ(back.times[i], lines[i].time_us);
        // The fast reader and the general parser make the same frame.
        SpectrumFrame fast{}, general{};
        SpectrumLine parsed;
        if (frame_from_canonical_line(cases[i].line, fast) &&
            parse_spectrum_line(cases[i].line, parsed) && cases[i].line != late_line) {
            frame_from_spectrum(parsed, general);
            EXPECT_TRUE(std::equal(fast.bytes.begin(), fast.bytes.begin() + fast.size,
                                   general.bytes.begin(), general.bytes.begin() + general.size));
        }
    }
    // The frame is what makes the file small: 24 + 2n bytes and a record head.
    LineRecord rec;
    line_record_from_line(cases[4].line, rec);
    EXPECT_EQ(rec.body.size(), FRAME_HEADER_SIZE + 2 * 512);

    RecordingReader r;
    RecordingReaderGuard guard{r};
    ASSERT_EQ(recording_open(r, path.c_str()), OpenResult::Ok);
    auto fields = [](const RecordingHeader &h) {
        return std::tie(h.radio, h.driver, h.unit, h.source, h.recorder, h.started_us);
    };
    EXPECT_EQ(fields(r.header), fields(test_header()));
}

TEST(Recording, PowerCutAtEveryByteKeepsTheWholeRecordsAndAppendingGoesOn)
{
    wdtest::TempDir dir("recording");
    const std::string whole_path = dir.path() + "/whole.rfwrec";
    const auto lines = three_lines();
    ASSERT_TRUE(wdtest::write_recording(whole_path, test_header(), lines));
    const std::string whole = file_bytes(whole_path);
    const size_t header_size = recording_header_bytes(test_header()).size();
    // Where each record ends, from the record sizes the writer chose.
    std::vector<size_t> ends;
    size_t at = header_size;
    for (const auto &l : lines) {
        LineRecord rec;
        line_record_from_line(l.line, rec);
        ends.push_back(at += RECORD_HEAD_SIZE + rec.body.size() + RECORD_CRC_SIZE);
    }
    ASSERT_EQ(ends.back(), whole.size());

    const std::string cut_path = dir.path() + "/cut.rfwrec";
    for (size_t cut = 0; cut <= whole.size(); cut++) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        put_file(cut_path, whole.substr(0, cut));
        size_t kept = 0;
        while (kept < ends.size() && ends[kept] <= cut)
            kept++;
        ReadBack back = read_back(cut_path);
        EXPECT_EQ(back.open, cut < header_size ? OpenResult::TornHeader : OpenResult::Ok);
        const bool on_boundary = cut == header_size || (kept > 0 && ends[kept - 1] == cut);
        EXPECT_EQ(back.end, cut < header_size || on_boundary ? ReadResult::End : ReadResult::Torn);
        ASSERT_EQ(back.lines.size(), kept);
        for (size_t i = 0; i < kept; i++)
            EXPECT_EQ(back.lines[i], lines[i].line);

        // The recorder starts again on the cut file: the torn tail goes, a
        // new record follows the whole ones.
        RecordingWriter w;
        WriterOpen how = recording_writer_open(w, cut_path.c_str(), test_header());
        EXPECT_EQ(how, cut < header_size ? WriterOpen::Created : WriterOpen::Appended);
        ASSERT_TRUE(recording_write(w, RecordType::Note, 99, "{\"note\":\"x\"}", 0));
        recording_writer_close(w);
        back = read_back(cut_path);
        EXPECT_EQ(back.end, ReadResult::End);
        ASSERT_EQ(back.lines.size(), kept + 1);
        EXPECT_EQ(back.types.back(), RecordType::Note);
        EXPECT_EQ(back.lines.back(), "{\"note\":\"x\"}");
    }
}

TEST(Recording, DamageEndsReadingAndIsNeitherCutNorHidden)
{
    wdtest::TempDir dir("recording");
    const std::string path = dir.path() + "/r.rfwrec";
    ASSERT_TRUE(wdtest::write_recording(path, test_header(), three_lines()));
    const std::string whole = file_bytes(path);
    const size_t second = recording_header_bytes(test_header()).size() + RECORD_HEAD_SIZE +
                          FRAME_HEADER_SIZE + 4 + RECORD_CRC_SIZE;
    const struct {
        const char *name;
        size_t offset;
        uint8_t flip;
    } cases[] = {
        {"size beyond the largest body", second + 2, 0x10},
        {"size a little off", second, 0x01},
        {"unknown type", second + 4, 0x40},
        {"time", second + 7, 0x01},
        {"body", second + RECORD_HEAD_SIZE, 0x20},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string damaged = whole;
        damaged[c.offset] = static_cast<char>(damaged[c.offset] ^ c.flip);
        put_file(path, damaged);
        ReadBack back = read_back(path);
        EXPECT_EQ(back.end, ReadResult::Damaged);
        EXPECT_EQ(back.lines.size(), 1u);

        RecordingWriter w;
        errno = 0;
        EXPECT_EQ(recording_writer_open(w, path.c_str(), test_header()), WriterOpen::Failed);
        EXPECT_EQ(errno, EBADMSG);
        recording_writer_close(w);
        EXPECT_EQ(file_bytes(path), damaged);
    }
}

TEST(Recording, AFileThatIsNotARecordingIsRefusedAndLeftAlone)
{
    std::string other_version = recording_header_bytes(test_header());
    other_version[6] = 2;
    std::string bad_crc = recording_header_bytes(test_header());
    bad_crc.back() = static_cast<char>(bad_crc.back() ^ 1);
    const struct {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"text", "hello, world\n"},
        {"a JSON line", with_bins({-90}) + "\n"},
        {"another version", other_version},
        {"a damaged header", bad_crc},
        {"a header too long", std::string("RFWREC\x01\x00\xff\xff\x00\x00", 12) + "{}"},
    };
    wdtest::TempDir dir("recording");
    const std::string path = dir.path() + "/f";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        put_file(path, c.bytes);
        EXPECT_EQ(read_back(path).open, OpenResult::NotRecording);
        RecordingWriter w;
        EXPECT_EQ(recording_writer_open(w, path.c_str(), test_header()), WriterOpen::NotRecording);
        recording_writer_close(w);
        EXPECT_EQ(file_bytes(path), c.bytes);
    }
}

TEST(Recording, AShortWriteIsCutBackToTheLastWholeRecord)
{
    wdtest::TempDir dir("recording");
    const std::string path = dir.path() + "/r.rfwrec";
    RecordingWriter w;
    RecordingWriterGuard guard{w};
    ASSERT_EQ(recording_writer_open(w, path.c_str(), test_header()), WriterOpen::Created);
    LineRecord rec;
    line_record_from_line(with_bins(wdtest::ramp_bins(512)), rec);
    ASSERT_TRUE(recording_write(w, rec.type, 1, rec.body, 0));
    const std::string before = file_bytes(path);

    // A file size limit makes the kernel write part of the next record, as a
    // full disk does.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = before.size() + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = recording_write(w, rec.type, 2, rec.body, 0);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(written);
    EXPECT_EQ(file_bytes(path), before);
    ASSERT_TRUE(recording_write(w, rec.type, 3, rec.body, 0));
    ReadBack back = read_back(path);
    EXPECT_EQ(back.end, ReadResult::End);
    EXPECT_EQ(back.times, (std::vector<uint64_t>{1, 3}));
}
