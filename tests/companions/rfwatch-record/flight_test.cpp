// The flight recorder driven with times, not a clock: which lines start an
// event and how its file is named, and what the file then holds, read back
// with the recording reader byte for byte.
#include "air_line_text.h"
#include "flight.h"
#include "line_record.h"
#include "recording_reader.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <algorithm>
#include <cmath>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

constexpr uint64_t T0 = 1765315200000000; // 2025-12-09 21:20:00 UTC
constexpr uint64_t SECOND = 1000000;

uint64_t at(double seconds)
{
    return T0 + static_cast<uint64_t>(std::llround(seconds * SECOND));
}

// What happens at a time: an air line (its classes, channel 6's quality), a
// spectrum line, a Note, or SIGUSR1.
struct Step {
    double seconds;
    enum { Air, Spectrum, Note, Usr1 } kind;
    std::vector<std::string> classes{};
    int quality = 100;
};

std::string spectrum_at(double seconds)
{
    wdtest::SpectrumLine l;
    l.timestamp = static_cast<uint64_t>(seconds * SECOND);
    l.bins = wdtest::ramp_bins(8);
    return wdtest::spectrum_line(l);
}

std::string air_at(const Step &s)
{
    wdtest::AirLineText l;
    l.timestamp = static_cast<uint64_t>(s.seconds * SECOND);
    l.channels[0].quality = s.quality;
    for (const std::string &c : s.classes) {
        l.signals.emplace_back();
        l.signals.back().cls = c;
    }
    return wdtest::air_line(l);
}

// The line or Note a step puts into the recorder ("" for SIGUSR1).
std::string text_of(const Step &s)
{
    switch (s.kind) {
    case Step::Air:
        return air_at(s);
    case Step::Spectrum:
        return spectrum_at(s.seconds);
    case Step::Note:
        return R"({"note":"daemon","state":"unreachable"})";
    case Step::Usr1:
        return "";
    }
    return "";
}

FlightOptions options(const std::string &dir, double ring_seconds, int below, uint64_t max_bytes)
{
    return FlightOptions{
        dir, static_cast<int64_t>(ring_seconds * SECOND), below, max_bytes,
        RecordingHeader{"wlan0", "ath11k", "dBm", "/run/rfwatchd/wlan0.sock", "rfwatch-record", 0}};
}

void run(FlightRecorder &f, const std::vector<Step> &steps)
{
    for (const Step &s : steps) {
        const uint64_t t = at(s.seconds);
        flight_tick(f, t, static_cast<int64_t>(t));
        if (s.kind == Step::Usr1)
            flight_trigger(f, t, "usr1", static_cast<int64_t>(t));
        else if (s.kind == Step::Note)
            flight_note(f, t, text_of(s), static_cast<int64_t>(t));
        else
            flight_line(f, t, text_of(s), static_cast<int64_t>(t));
    }
    flight_close(f);
}

std::vector<std::string> files_in(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    for (dirent *e = d ? readdir(d) : nullptr; e != nullptr; e = readdir(d))
        if (e->d_name[0] != '.')
            names.emplace_back(e->d_name);
    if (d)
        closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Air lines at these seconds with these classes.
std::vector<Step> air(std::initializer_list<std::pair<double, std::vector<std::string>>> lines)
{
    std::vector<Step> steps;
    for (const auto &[s, classes] : lines)
        steps.push_back({s, Step::Air, classes});
    return steps;
}

// Air lines a second apart with channel 6 at these qualities.
std::vector<Step> quality(std::initializer_list<int> values)
{
    std::vector<Step> steps;
    double s = 0;
    for (int q : values)
        steps.push_back({s++, Step::Air, {}, q});
    return steps;
}

struct TriggerCase {
    const char *name;
    std::vector<Step> steps;
    std::vector<std::string> files;
    double ring_seconds = 3;
    int below = 50;
};

const std::string USR1_AT_2 = "20251209T212002Z-usr1";

TEST(Flight, TriggersMakeTheseFiles)
{
    const TriggerCase cases[] = {
        {"a new class",
         air({{0, {"wifi"}}, {1, {"wifi", "microwave"}}}),
         {"20251209T212001Z-class-microwave.rfwrec"}},
        {"the same class again within the window is not new, after it is",
         air({{1, {"microwave"}},
              {3.5, {"microwave", "microwave"}},
              {6, {"microwave"}},
              {9.5, {"microwave"}}}),
         {"20251209T212001Z-class-microwave.rfwrec", "20251209T212009Z-class-microwave.rfwrec"}},
        {"two new classes in one line: one file",
         air({{4, {"hopper", "pulsed"}}}),
         {"20251209T212004Z-class-hopper.rfwrec"}},
        {"wifi never", air({{0, {"wifi"}}, {5, {"wifi"}}, {10, {"wifi"}}}), {}},
        {"a hostile class name stays a word in the folder",
         air({{0, {"../x y"}}}),
         {"20251209T212000Z-class-___x_y.rfwrec"}},
        {"quality falls, stays low, recovers and falls again",
         quality({80, 40, 30, 60, 60, 60, 45}),
         {"20251209T212001Z-quality-ch6.rfwrec", "20251209T212006Z-quality-ch6.rfwrec"}},
        {"quality exactly at the threshold is not below it", quality({80, 50, 50}), {}},
        {"quality already low when recording starts", quality({30, 20, 10}), {}},
        {"no quality trigger asked", quality({80, 10}), {}, 3, -1},
        {"usr1", {{0, Step::Spectrum}, {2, Step::Usr1}}, {USR1_AT_2 + ".rfwrec"}},
        {"usr1 again within the window extends",
         {{2, Step::Usr1}, {2.5, Step::Usr1}},
         {USR1_AT_2 + ".rfwrec"}},
        {"usr1 again in the same second after the window: a second name",
         {{2, Step::Usr1}, {2.3, Step::Spectrum}, {2.6, Step::Usr1}},
         {USR1_AT_2 + "-2.rfwrec", USR1_AT_2 + ".rfwrec"},
         0.2},
    };
    for (const TriggerCase &c : cases) {
        SCOPED_TRACE(c.name);
        wdtest::TempDir dir("flight");
        FlightRecorder f;
        flight_init(f, options(dir.path(), c.ring_seconds, c.below, 1 << 20));
        run(f, c.steps);
        EXPECT_EQ(files_in(dir.path()), c.files);
        EXPECT_EQ(f.events, c.files.size());
    }
}

// A Step's record as the file should hold it.
struct Expected {
    RecordType type;
    uint64_t time_us;
    std::string text;
};

std::vector<Expected> read_all(const std::string &path, RecordingHeader &header)
{
    RecordingReader r;
    EXPECT_EQ(recording_open(r, path.c_str()), OpenResult::Ok);
    const RecordingReaderGuard guard{r};
    header = r.header;
    std::vector<Expected> out;
    Record rec;
    ReadResult res;
    while ((res = recording_next(r, rec)) == ReadResult::Record) {
        std::string text(rec.body.begin(), rec.body.end());
        if (rec.type != RecordType::Note) {
            EXPECT_TRUE(line_from_record(rec.type, rec.body, text));
        }
        out.push_back({rec.type, rec.time_us, text});
    }
    EXPECT_EQ(res, ReadResult::End);
    return out;
}

Expected record_of(const Step &s)
{
    if (s.kind == Step::Usr1)
        return {RecordType::Note, at(s.seconds), R"({"note":"trigger","cause":"usr1"})"};
    LineRecord lr;
    const std::string text = text_of(s);
    line_record_from_line(text, lr);
    return {s.kind == Step::Note ? RecordType::Note : lr.type, at(s.seconds), text};
}

bool operator==(const Expected &a, const Expected &b)
{
    return a.type == b.type && a.time_us == b.time_us && a.text == b.text;
}

void PrintTo(const Expected &e, std::ostream *os)
{
    *os << int(e.type) << "@" << e.time_us << " " << e.text;
}

// A spectrum line every second from 0 to 20 and a Note at 8.5; the
// microwave's air line at 10 starts the event.
std::vector<Step> timeline(std::initializer_list<Step> more)
{
    std::vector<Step> steps;
    for (int s = 0; s <= 20; s++) {
        steps.push_back({double(s), Step::Spectrum});
        if (s == 8)
            steps.push_back({8.5, Step::Note});
        if (s == 10)
            steps.push_back({10, Step::Air, {"microwave"}});
        for (const Step &m : more)
            if (m.seconds >= s && m.seconds < s + 1)
                steps.push_back(m);
    }
    return steps;
}

struct EventCase {
    const char *name;
    std::vector<Step> steps;
    // Indices into steps, in the file's order; the first record, the
    // trigger's Note, is checked apart.
    std::vector<size_t> records;
};

TEST(Flight, AnEventHoldsTheWindowAroundItsTriggers)
{
    // steps: 0..8 the lines of seconds 0 to 8, 9 the Note at 8.5, 10 and 11
    // seconds 9 and 10, 12 the air line, 13.. the seconds 11 to 20 (and
    // usr1 at 12 after the line of 12).
    const EventCase cases[] = {
        {"from three seconds before to three after",
         timeline({}),
         {7, 8, 9, 10, 11, 12, 13, 14, 15}},
        {"a second trigger extends to three seconds after it",
         timeline({{12, Step::Usr1}}),
         {7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
    };
    for (const EventCase &c : cases) {
        SCOPED_TRACE(c.name);
        wdtest::TempDir dir("flight");
        FlightRecorder f;
        flight_init(f, options(dir.path(), 3, -1, 1 << 20));
        run(f, c.steps);
        const std::vector<std::string> files = files_in(dir.path());
        ASSERT_EQ(files, std::vector<std::string>{"20251209T212010Z-class-microwave.rfwrec"});
        RecordingHeader header;
        const std::vector<Expected> got = read_all(dir.path() + "/" + files[0], header);
        std::vector<Expected> want{
            {RecordType::Note, at(10), R"({"note":"trigger","cause":"class-microwave"})"}};
        for (size_t i : c.records)
            want.push_back(record_of(c.steps.at(i)));
        EXPECT_EQ(got, want);
        EXPECT_EQ(header.radio, "wlan0");
        EXPECT_EQ(header.started_us, at(7));
    }
}

TEST(Flight, AFullEventFileEndsWithANoteAndKeepsTheNewestOfTheRing)
{
    wdtest::TempDir dir("flight");
    FlightRecorder f;
    constexpr uint64_t MAX = 1000;
    flight_init(f, options(dir.path(), 30, -1, MAX));
    std::vector<Step> steps;
    for (int i = 0; i <= 250; i++) {
        steps.push_back({i * 0.1, Step::Spectrum});
        if (i == 200)
            steps.push_back({20, Step::Usr1});
    }
    run(f, steps);
    EXPECT_GT(f.dropped, 0u); // thirty seconds of lines do not fit in 1000 bytes
    const std::vector<std::string> files = files_in(dir.path());
    ASSERT_EQ(files.size(), 1u);
    RecordingHeader header;
    const std::vector<Expected> got = read_all(dir.path() + "/" + files[0], header);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got.front(), record_of(steps[201]));
    EXPECT_EQ(got.back().text, R"({"note":"full","max_bytes":1000})");
    EXPECT_EQ(got[got.size() - 2], record_of(steps[200])); // the line just before the trigger
    for (size_t i = 1; i + 2 < got.size(); i++)
        EXPECT_EQ(got[i].time_us + 100000, got[i + 1].time_us);
    FILE *file = fopen((dir.path() + "/" + files[0]).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    fseek(file, 0, SEEK_END);
    EXPECT_LE(ftell(file), long(MAX));
    fclose(file);
}

TEST(Flight, AnEventThatCannotBeCreatedLeavesTheRecorderGoing)
{
    wdtest::TempDir dir("flight");
    FlightRecorder f;
    flight_init(f, options(dir.path() + "/missing", 3, -1, 1 << 20));
    run(f, {{0, Step::Spectrum}, {1, Step::Usr1}, {2, Step::Spectrum}});
    EXPECT_EQ(f.events, 0u);
    f.options.dir = dir.path();
    run(f, {{3, Step::Usr1}, {4, Step::Spectrum}});
    EXPECT_EQ(files_in(dir.path()), (std::vector<std::string>{"20251209T212003Z-usr1.rfwrec"}));
}

} // namespace
