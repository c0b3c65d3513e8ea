// SPDX-License-Identifier: MIT
// The flight recorder driven with times, not a clock: which lines start an
// event and how its file is named, and what the file then holds, read back
// with the recording reader byte for byte.
#include "air_line_text.h"
#include "flight.h"
#include "line_record.h"
#include "recording_file.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace
{

constexpr uint64_t T0 = 1765315200000000; // 2025-12-09 21:20:00 UTC

uint64_t at(double seconds)
{
    return T0 + static_cast<uint64_t>(std::llround(seconds * 1e6));
}

// At a time: an air line (its classes, channel 6's quality), a spectrum
// line, a Note, or SIGUSR1 (its record: the trigger's Note).
struct Step {
    double seconds;
    enum Kind { Air, Spectrum, Note, Usr1 } kind;
    std::vector<std::string> classes{};
    int quality = 100;
};

std::string text_of(const Step &s)
{
    if (s.kind == Step::Note || s.kind == Step::Usr1)
        return s.kind == Step::Note ? R"({"note":"daemon","state":"unreachable"})"
                                    : R"({"note":"trigger","cause":"usr1"})";
    if (s.kind == Step::Spectrum)
        return wdtest::spectrum_line({.timestamp = at(s.seconds), .bins = wdtest::ramp_bins(8)});
    wdtest::AirLineText l;
    l.channels[0].quality = s.quality;
    for (const std::string &c : s.classes)
        l.signals.push_back({.cls = c});
    return wdtest::air_line(l);
}

// A record as "type@seconds text", so that a difference reads plainly.
std::string describe(RecordType type, uint64_t time_us, const std::string &text)
{
    return std::to_string(int(type)) + "@" + std::to_string(double(time_us - T0) / 1e6) + " " +
           text;
}

std::string describe(const Step &s)
{
    LineRecord lr{RecordType::Note, ""};
    if (s.kind == Step::Air || s.kind == Step::Spectrum)
        line_record_from_line(text_of(s), lr);
    return describe(lr.type, at(s.seconds), text_of(s));
}

void run(FlightRecorder &f, const std::vector<Step> &steps)
{
    for (const Step &s : steps) {
        const uint64_t t = at(s.seconds);
        flight_tick(f, t, int64_t(t));
        if (s.kind == Step::Usr1)
            flight_trigger(f, t, "usr1", int64_t(t));
        else if (s.kind == Step::Note)
            flight_note(f, t, text_of(s), int64_t(t));
        else
            flight_line(f, t, text_of(s), int64_t(t));
    }
    flight_close(f);
}

struct Recorder {
    wdtest::TempDir dir{"flight"};
    FlightRecorder f;
    Recorder(double ring_seconds, int below, uint64_t max_bytes, const std::vector<Step> &steps)
    {
        const RecordingHeader h{"wlan0", "ath11k", "dBm", "wlan0.sock", "rfwatch-record", 0};
        flight_init(f, {dir.path(), std::llround(ring_seconds * 1e6), below, max_bytes, h});
        run(f, steps);
    }

    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The only file, read back; its records described.
    wdtest::ReadBack only_file(std::vector<std::string> &described) const
    {
        const std::vector<std::string> names = files();
        EXPECT_EQ(names.size(), 1u);
        wdtest::ReadBack back = wdtest::read_recording(dir.path() + "/" + names.at(0));
        EXPECT_EQ(back.end, ReadResult::End);
        for (const wdtest::ReadItem &i : back.items)
            described.push_back(describe(i.type, i.time_us, i.text));
        return back;
    }
};

std::vector<Step> air(std::vector<std::pair<double, std::vector<std::string>>> lines)
{
    std::vector<Step> steps;
    for (const auto &[s, classes] : lines)
        steps.push_back({s, Step::Air, classes});
    return steps;
}

// Air lines a second apart, channel 6 at these qualities.
std::vector<Step> quality(std::vector<int> values)
{
    std::vector<Step> steps;
    for (size_t i = 0; i < values.size(); i++)
        steps.push_back({double(i), Step::Air, {}, values[i]});
    return steps;
}

TEST(Flight, TriggersMakeTheseFiles)
{
    const std::string usr1_at_2 = "20251209T212002Z-usr1";
    const struct {
        const char *name;
        std::vector<Step> steps;
        std::vector<std::string> files;
        double ring_seconds = 3;
        int below = 50;
    } cases[] = {
        {"a new class",
         air({{0, {"wifi"}}, {1, {"wifi", "microwave"}}}),
         {"20251209T212001Z-class-microwave.rfwrec"}},
        {"the same class within the window is not new, after it is",
         air({{1, {"microwave"}},
              {3.5, {"microwave", "microwave"}},
              {6, {"microwave"}},
              {8, {}},
              {9.5, {"microwave"}}}),
         {"20251209T212001Z-class-microwave.rfwrec", "20251209T212009Z-class-microwave.rfwrec"}},
        {"a class in consecutive air lines further apart than the window is not new",
         air({{0, {"microwave"}}, {5, {"microwave"}}, {10, {}}, {15, {"microwave"}}}),
         {"20251209T212000Z-class-microwave.rfwrec", "20251209T212015Z-class-microwave.rfwrec"}},
        {"two new classes in one line: one file",
         air({{4, {"hopper", "pulsed"}}}),
         {"20251209T212004Z-class-hopper.rfwrec"}},
        {"wifi never", air({{0, {"wifi"}}, {5, {"wifi"}}, {10, {"wifi"}}}), {}},
        {"a hostile class name stays a word in the folder",
         air({{0, {"../x y"}}}),
         {"20251209T212000Z-class-___x_y.rfwrec"}},
        {"quality falls, stays low, recovers, falls",
         quality({80, 40, 30, 60, 60, 60, 45}),
         {"20251209T212001Z-quality-ch6.rfwrec", "20251209T212006Z-quality-ch6.rfwrec"}},
        {"quality at the threshold is not below it", quality({80, 50, 50}), {}},
        {"quality already low when recording starts", quality({30, 20, 10}), {}},
        {"no quality trigger asked", quality({80, 10}), {}, 3, -1},
        {"usr1", {{0, Step::Spectrum}, {2, Step::Usr1}}, {usr1_at_2 + ".rfwrec"}},
        {"usr1 again within the window extends",
         {{2, Step::Usr1}, {2.5, Step::Usr1}},
         {usr1_at_2 + ".rfwrec"}},
        {"usr1 again in the same second after the window: a second name",
         {{2, Step::Usr1}, {2.3, Step::Spectrum}, {2.6, Step::Usr1}},
         {usr1_at_2 + "-2.rfwrec", usr1_at_2 + ".rfwrec"},
         0.2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Recorder r(c.ring_seconds, c.below, 1 << 20, c.steps);
        EXPECT_EQ(r.files(), c.files);
        EXPECT_EQ(r.f.events, c.files.size());
    }
}

TEST(Flight, AnEventHoldsTheWindowAroundItsTriggers)
{
    // A spectrum line each second from 0 to 20, a Note at 8.5, the
    // microwave's air line at 10 (the trigger), and in the second case
    // usr1 at 12: records from 7 to 13, or to 15.
    for (const bool usr1 : {false, true}) {
        std::vector<Step> steps, want;
        for (int s = 0; s <= 20; s++) {
            steps.push_back({double(s), Step::Spectrum});
            if (s == 8)
                steps.push_back({8.5, Step::Note});
            if (s == 10)
                steps.push_back({10, Step::Air, {"microwave"}});
            if (s == 12 && usr1)
                steps.push_back({12, Step::Usr1});
            if (s == 13 + 2 * usr1)
                want.assign(steps.begin() + 7, steps.end());
        }
        const Recorder r(3, -1, 1 << 20, steps);
        EXPECT_EQ(r.files(), std::vector<std::string>{"20251209T212010Z-class-microwave.rfwrec"});
        std::vector<std::string> expected{
            describe(RecordType::Note, at(10), R"({"note":"trigger","cause":"class-microwave"})")};
        for (const Step &s : want)
            expected.push_back(describe(s));
        std::vector<std::string> got;
        const wdtest::ReadBack back = r.only_file(got);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(back.header.radio, "wlan0");
        EXPECT_EQ(back.header.started_us, at(7));
    }
}

TEST(Flight, AFullEventFileEndsWithANoteAndKeepsTheNewestOfTheRing)
{
    // Ten lines a second, thirty seconds of ring in 1000 bytes, usr1 at 20.
    std::vector<Step> steps;
    for (int i = 0; i <= 250; i++) {
        steps.push_back({i * 0.1, Step::Spectrum});
        if (i == 200)
            steps.push_back({20, Step::Usr1});
    }
    const Recorder r(30, -1, 1000, steps);
    EXPECT_GT(r.f.dropped, 0u);
    std::vector<std::string> got;
    r.only_file(got);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got.front(), describe(steps[201]));
    EXPECT_EQ(got.back(),
              describe(RecordType::Note, at(20.1), R"({"note":"full","max_bytes":1000})"));
    const size_t lines = got.size() - 2; // those just before the trigger, none missing
    for (size_t i = 0; i < lines; i++)
        EXPECT_EQ(got[1 + i], describe(steps[201 - lines + i]));
    EXPECT_LE(std::filesystem::file_size(r.dir.path() + "/" + r.files()[0]), 1000u);
}

TEST(Flight, NeitherAMissingFolderNorAnOverlongLineStopsTheRecorder)
{
    Recorder r(3, -1, 1 << 20, {});
    r.f.options.dir = r.dir.path() + "/missing";
    run(r.f, {{0, Step::Spectrum}, {1, Step::Usr1}, {2, Step::Spectrum}});
    EXPECT_EQ(r.f.events, 0u);
    r.f.options.dir = r.dir.path(); // and a line no record can hold does not end the event
    flight_trigger(r.f, at(3), "usr1", 0);
    flight_line(r.f, at(3.5), std::string(RECORD_MAX_BODY + 1, ' '), 0);
    run(r.f, {{4, Step::Spectrum}});
    std::vector<std::string> got;
    r.only_file(got);
    EXPECT_EQ(got.back(), describe({4, Step::Spectrum}));
    EXPECT_EQ(r.files(), std::vector<std::string>{"20251209T212003Z-usr1.rfwrec"});
}

} // namespace
