// SPDX-License-Identifier: MIT
// The real rfwatch-record against a stand-in rfwatchd socket (and a real
// mosquitto broker): what it writes is read back with the recording reader
// and compared byte for byte with what was sent.
#include "air_line_text.h"
#include "command.h"
#include "fake_rfwatchd.h"
#include "frame.h"
#include "line_record.h"
#include "mosquitto_broker.h"
#include "mqtt_client.h"
#include "recording_file.h"
#include "spectrum_line.h"
#include "subprocess.h"
#include "temp_dir.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

constexpr int WAIT_MS = 30000; // generous: CI is a loaded machine with sanitizers

using wdtest::read_recording;
using wdtest::texts_of;

// Waits for a condition on the files while draining the program's output.
bool wait_for(wdtest::Child &c, const std::function<bool()> &done, int timeout_ms = WAIT_MS)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        c.read_until([](const std::string &) { return false; }, 50);
    }
    return true;
}

bool err_has(wdtest::Child &c, const std::string &text)
{
    return wait_for(c, [&] { return c.err().find(text) != std::string::npos; });
}

std::string spectrum(uint64_t timestamp, int noise = -109, size_t bins = 64)
{
    std::vector<double> values = wdtest::ramp_bins(bins);
    values.at(2) = NAN;
    return wdtest::spectrum_line({0, 5180, 20, noise, 40, timestamp, 3, values});
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string s;
    for (const std::string &l : lines)
        s += l + "\n";
    return s;
}

class RfwatchRecord : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dir = tmp.path();
        ASSERT_FALSE(dir.empty());
        socket_path = dir + "/wlan0.sock";
        file = dir + "/r.rfwrec";
        ASSERT_TRUE(daemon.start(socket_path));
    }

    void start(std::vector<std::string> extra)
    {
        std::vector<std::string> argv = {RFWATCH_RECORD_BIN, "-s", socket_path};
        argv.insert(argv.end(), extra.begin(), extra.end());
        program = std::make_unique<wdtest::Child>();
        std::string why;
        ASSERT_TRUE(program->start(argv, {}, &why)) << why;
    }

    wdtest::Outcome stop()
    {
        program->send_signal(SIGTERM);
        return program->finish(WAIT_MS);
    }

    wdtest::TempDir tmp{"rfwatch-record"};
    std::string dir, socket_path, file;
    wdtest::FakeRfwatchd daemon;
    std::unique_ptr<wdtest::Child> program;
};

} // namespace

TEST_F(RfwatchRecord, RecordsEveryLineAsSentWithItsArrival)
{
    start({"-o", file, "--air", "--period-ms", "200"});
    ASSERT_TRUE(daemon.wait_commands(2, WAIT_MS));
    EXPECT_EQ(daemon.commands().at(0),
              encode_command({.kind = CommandKind::SetAggregation, .period_ms = 200}));
    EXPECT_EQ(daemon.commands().at(1),
              encode_command({.kind = CommandKind::Air, .air_period_ms = 1000}));

    struct Sent {
        std::string line;
        RecordType type;
    };
    const Sent table[] = {
        {spectrum(1), RecordType::Frame},                        // ath11k dBm, tells the driver
        {spectrum(2, -95, 512), RecordType::Frame},              // ath10k magnitudes
        {wdtest::air_line({}), RecordType::Line},                // air
        {R"({"detector":0,"freq_mhz":5180})", RecordType::Line}, // not a spectrum
        {spectrum(3).replace(1, 0, " "), RecordType::Line},      // a frame would not restore it
        {std::string(20000, 'x'), RecordType::Note},             // too long: lost
        {spectrum(4), RecordType::Frame},
    };
    std::vector<std::string> lines;
    for (const Sent &s : table)
        lines.push_back(s.line);
    ASSERT_TRUE(daemon.send(joined(lines)));
    ASSERT_TRUE(wait_for(*program, [&] { return texts_of(read_recording(file)).size() == 6; }));
    daemon.stop(); // the daemon goes: a Note says so
    ASSERT_TRUE(err_has(*program, "rfwatchd closed the connection"));
    const wdtest::Outcome out = stop();
    ASSERT_TRUE(out.exited) << out.err;
    EXPECT_EQ(out.status, 0) << out.err;

    const wdtest::ReadBack r = read_recording(file);
    ASSERT_EQ(r.opened, OpenResult::Ok);
    EXPECT_EQ(r.header.radio, "wlan0");
    EXPECT_EQ(r.header.driver, "ath11k");
    EXPECT_EQ(r.header.unit, "dBm");
    EXPECT_EQ(r.header.source, socket_path);
    EXPECT_EQ(r.header.recorder, "rfwatch-record");
    const std::vector<std::string> notes = texts_of(r, true);
    ASSERT_EQ(notes.size(), 3U);
    EXPECT_EQ(notes[0], R"({"note":"daemon","state":"connected"})");
    EXPECT_EQ(notes[1], R"({"note":"lost","lines":1})");
    EXPECT_EQ(notes[2], R"({"note":"daemon","state":"unreachable"})");
    ASSERT_EQ(r.items.size(), std::size(table) + 2);
    EXPECT_EQ(r.items.front().type, RecordType::Note);
    for (size_t i = 0; i < std::size(table); i++) {
        EXPECT_EQ(r.items[i + 1].type, table[i].type) << i;
        if (table[i].type != RecordType::Note) {
            EXPECT_EQ(r.items[i + 1].text, table[i].line) << i;
        }
    }
    for (size_t i = 1; i < r.items.size(); i++)
        EXPECT_GE(r.items[i].time_us, r.items[i - 1].time_us) << i;
    EXPECT_GT(r.items.front().time_us, r.header.started_us - 60000000);
}

TEST_F(RfwatchRecord, RotatesAtMaxSizeAndLosesNothingAcrossThePair)
{
    constexpr uint64_t MAX = 131072;
    start({"-o", file, "--max-size", std::to_string(MAX)});
    ASSERT_TRUE(daemon.wait_clients(1, WAIT_MS));
    // 64-bin records of 169 bytes: about 775 to a file, so one rotation.
    std::vector<std::string> sent;
    for (uint64_t t = 0; t < 1500; t++)
        sent.push_back(spectrum(t));
    for (size_t at = 0; at < sent.size(); at += 100)
        ASSERT_TRUE(daemon.send(joined(
            {sent.begin() + static_cast<long>(at), sent.begin() + static_cast<long>(at + 100)})));
    ASSERT_TRUE(wait_for(*program, [&] {
        const std::vector<std::string> l = texts_of(read_recording(file));
        return !l.empty() && l.back() == sent.back();
    }));
    const wdtest::Outcome out = stop();
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_NE(out.err.find("now " + file + ".1"), std::string::npos) << out.err;

    std::vector<std::string> got = texts_of(read_recording(file + ".1"));
    const std::vector<std::string> newest = texts_of(read_recording(file));
    got.insert(got.end(), newest.begin(), newest.end());
    EXPECT_EQ(got, sent);
    EXPECT_FALSE(newest.empty());
    EXPECT_LE(std::filesystem::file_size(file), MAX);
    EXPECT_LE(std::filesystem::file_size(file + ".1"), MAX);
}

TEST_F(RfwatchRecord, AppendsToARecordingAndRefusesAnythingElse)
{
    for (uint64_t run = 1; run <= 2; run++) {
        start({"-o", file});
        ASSERT_TRUE(daemon.wait_clients(run, WAIT_MS));
        ASSERT_TRUE(daemon.send(joined({spectrum(run)})));
        ASSERT_TRUE(
            wait_for(*program, [&] { return texts_of(read_recording(file)).size() == run; }));
        EXPECT_EQ(stop().status, 0);
    }
    const wdtest::ReadBack r = read_recording(file);
    EXPECT_EQ(texts_of(r), (std::vector<std::string>{spectrum(1), spectrum(2)}));
    EXPECT_EQ(texts_of(r, true).size(), 2U); // connected, twice

    const std::string text = dir + "/notes.txt";
    std::ofstream(text) << "my notes\n";
    const std::pair<std::string, const char *> refused[] = {
        {text, "not a recording"}, {dir + "/none/r.rfwrec", "cannot create files in"}};
    for (const auto &[path, reason] : refused) {
        const wdtest::Outcome out =
            wdtest::run({RFWATCH_RECORD_BIN, "-s", socket_path, "-o", path}, {}, WAIT_MS);
        EXPECT_EQ(out.status, 1) << path;
        EXPECT_NE(out.err.find(reason), std::string::npos) << out.err;
    }
    EXPECT_EQ(std::filesystem::file_size(text), 9U);
}

TEST_F(RfwatchRecord, AFailedWriteEndsWithStatusOneAndTheFileWhole)
{
    // A file size limit of 32 KiB stands for a full disk.
    program = std::make_unique<wdtest::Child>();
    ASSERT_TRUE(program->start({"/bin/sh", "-c", "ulimit -f 64 && exec \"$0\" \"$@\"",
                                RFWATCH_RECORD_BIN, "-s", socket_path, "-o", file}));
    ASSERT_TRUE(daemon.wait_clients(1, WAIT_MS));
    for (uint64_t t = 0; t < 400; t++)
        daemon.send(joined({spectrum(t)})); // fails once the program is gone
    const wdtest::Outcome out = program->finish(WAIT_MS);
    ASSERT_TRUE(out.exited) << out.err;
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.err.find("cannot write " + file), std::string::npos) << out.err;
    const wdtest::ReadBack r = read_recording(file);
    ASSERT_EQ(r.opened, OpenResult::Ok);
    EXPECT_EQ(r.end, ReadResult::End);
    EXPECT_GT(r.items.size(), 100U);
}

TEST_F(RfwatchRecord, Usr1InRingModeWritesOneEventFile)
{
    const std::string events = dir + "/events";
    ASSERT_EQ(mkdir(events.c_str(), 0700), 0);
    start({"--ring", "30", "-o", events});
    ASSERT_TRUE(daemon.wait_clients(1, WAIT_MS));
    ASSERT_TRUE(daemon.send(joined({spectrum(1), spectrum(2)})));
    ASSERT_TRUE(err_has(*program, "connected to rfwatchd"));
    program->send_signal(SIGUSR1);
    ASSERT_TRUE(err_has(*program, "SIGUSR1: event"));
    ASSERT_TRUE(daemon.send(joined({spectrum(3)})));

    std::vector<std::string> names;
    const auto list = [&] {
        names.clear();
        for (const auto &e : std::filesystem::directory_iterator(events))
            names.push_back(e.path().filename());
        return names;
    };
    ASSERT_TRUE(wait_for(*program, [&] {
        return list().size() == 1 && texts_of(read_recording(events + "/" + names[0])).size() == 3;
    }));
    EXPECT_EQ(stop().status, 0);
    ASSERT_EQ(list().size(), 1U);
    EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(\d{8}T\d{6}Z-usr1\.rfwrec)"))) << names[0];
    const wdtest::ReadBack r = read_recording(events + "/" + names[0]);
    EXPECT_EQ(texts_of(r), (std::vector<std::string>{spectrum(1), spectrum(2), spectrum(3)}));
}

TEST_F(RfwatchRecord, RecordsARadioOfTheFleetFromMqtt)
{
    if (!wdtest::mosquitto_available())
        GTEST_SKIP() << "SKIPPED: mosquitto, mosquitto_passwd or openssl is not installed "
                        "(tools/setup installs them)";
    wdtest::BrokerSetup setup;
    setup.tls = false;
    setup.anonymous = true;
    wdtest::MosquittoBroker broker;
    std::string why;
    ASSERT_TRUE(broker.prepare(dir, setup, &why)) << why;
    ASSERT_TRUE(broker.start(&why)) << why;

    const std::string topic = "wifidiag/ap1/wlan3";
    std::vector<std::string> argv = {RFWATCH_RECORD_BIN,
                                     "-o",
                                     file,
                                     "--air",
                                     "--mqtt",
                                     "mqtt://127.0.0.1:" + std::to_string(broker.port()),
                                     "--topic",
                                     topic};
    program = std::make_unique<wdtest::Child>();
    ASSERT_TRUE(program->start(argv, {}, &why)) << why;
    ASSERT_TRUE(err_has(*program, "subscribed to " + topic + "/spectrum"));

    const std::string line = spectrum(7);
    SpectrumFrame frame{};
    ASSERT_TRUE(frame_from_line(line, frame));
    const std::string compact(reinterpret_cast<const char *>(frame.bytes.data()), frame.size);
    const std::string air = wdtest::air_line({});
    wdtest::MqttClient publisher;
    ASSERT_TRUE(publisher.connect(broker.port(), {}, &why)) << why;
    ASSERT_TRUE(publisher.publish(topic + "/spectrum", line, 1));
    ASSERT_TRUE(publisher.publish(topic + "/spectrum", compact, 1));
    ASSERT_TRUE(publisher.publish(topic + "/spectrum", std::string("\x01\x02", 2), 1));
    ASSERT_TRUE(publisher.publish(topic + "/air", air, 1));
    ASSERT_TRUE(wait_for(*program, [&] { return texts_of(read_recording(file)).size() == 3; }));
    EXPECT_EQ(stop().status, 0);

    const wdtest::ReadBack r = read_recording(file);
    EXPECT_EQ(texts_of(r), (std::vector<std::string>{line, line, air}));
    EXPECT_EQ(r.header.radio, "wlan3");
    EXPECT_EQ(r.header.source, topic);
    const std::vector<std::string> notes = texts_of(r, true);
    EXPECT_NE(std::find(notes.begin(), notes.end(), R"({"note":"lost","lines":1})"), notes.end());
}
