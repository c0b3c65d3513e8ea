// SPDX-License-Identifier: MIT
// The sample and sweep-timer steps over a real driver directory: pass
// size, invalid reports, re-arming when reports pause, bin count following
// the width, and the background sweep.
#include "aggregate_difference.h"
#include "base/fd_guard.h"
#include "capture/ath11k_report.h"
#include "core/main_loop.h"
#include "core/samples.h"
#include "core/sweep_timer.h"
#include "radio/sweep.h"
#include "radio/sweep_timing.h"
#include "test_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace coretest;

TEST(SampleStep, AtMostAThousandReportsAPass)
{
    START_TEST_SERVER(ts);
    std::vector<uint16_t> freqs(1500, 2437);
    ts.set_samples(reports_at(freqs));
    int a = ts.connect_client();
    while (ts.server().client_count == 0)
        poll_clients(ts.server(), 0);
    Client *c = first_client(ts.server());
    ASSERT_NE(c, nullptr);
    c->aggregates[0].period_ms = 100000; // keep everything in the aggregate
    ASSERT_EQ(handle_samples(ts.server()), 0);
    EXPECT_EQ(c->aggregates[0].slots[0].count, 1000u);
    // Reports still buffered: the next pass does not wait for input.
    EXPECT_EQ(main_loop_wait_ms(ts.server(), now_ms()), 0);
    // The 500 left, then the pass's one read (debugfs hands out what is
    // queued; a plain file starts again) fills it.
    ASSERT_EQ(handle_samples(ts.server()), 0);
    EXPECT_EQ(c->aggregates[0].slots[0].count, 2000u);
    ts.set_samples({});
    ASSERT_EQ(handle_samples(ts.server()), 0); // the rest
    ASSERT_EQ(handle_samples(ts.server()), 0); // an empty read
    c->aggregates[1].period_ms = 100000;       // no flush due either
    sweep_timer_step(ts.server());             // nor the width change
    EXPECT_EQ(main_loop_wait_ms(ts.server(), now_ms()), static_cast<int>(SAMPLE_READ_INTERVAL_MS));
    close(a);
}

TEST(SampleStep, DetectorsGoToTheirAggregatesAndOthersNowhere)
{
    START_TEST_SERVER(ts);
    std::vector<uint8_t> bytes = reports_at({2412}, 20, 64, 4);
    std::vector<uint8_t> d1 = reports_at({2412, 2432}, 20, 64, 100);
    bytes.insert(bytes.end(), d1.begin(), d1.end());
    ts.set_samples(bytes);
    int a = ts.connect_client();
    ASSERT_TRUE(ts.run_for(5));
    Client *c = first_client(ts.server());
    c->aggregates[0].period_ms = c->aggregates[1].period_ms = 100000;
    ASSERT_EQ(handle_samples(ts.server()), 0);
    EXPECT_EQ(c->aggregates[0].slots_used, 1u);
    EXPECT_EQ(c->aggregates[1].slots_used, 2u);
    EXPECT_EQ(ts.server().radio.band, Band::Band2GHz);
    EXPECT_EQ(ts.server().current_bandwidth, 20u);
    close(a);
}

namespace
{

// A pass's worth of reports (1000) over 150 centres and both detectors,
// with now and then another width or bin count.
std::vector<uint8_t> mixed_pass()
{
    std::mt19937 rng(5);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < SAMPLES_PER_PASS; ++i) {
        wdtest::Ath11kReport r;
        r.type = rng() % 2 ? 4 : 100;
        r.freq_mhz = static_cast<uint16_t>(5000 + 5 * (rng() % 150));
        r.bandwidth_mhz = rng() % 10 == 0 ? 40 : 20;
        r.rssi = static_cast<uint16_t>(rng() % 40);
        r.gain = 70;
        r.max_exp = static_cast<uint8_t>(rng() % 8);
        r.offset_base = 120;
        r.bins.resize(rng() % 10 == 0 ? 32 : 64);
        for (uint8_t &b : r.bins)
            b = static_cast<uint8_t>(rng());
        wdtest::append_report(bytes, r);
    }
    return bytes;
}

// Takes slots for 400 centres of its own, below any report's.
void take_400_slots(SampleAggregate *pair)
{
    SpectralSample s{};
    s.bandwidth_mhz = 20;
    s.bin_count = 64;
    for (uint16_t f = 0; f < 400; ++f) {
        s.freq_mhz = static_cast<uint16_t>(1000 + f);
        aggregate_add_sample(pair, s);
    }
}

struct AggregatePair {
    SampleAggregate by_detector[2];
};

} // namespace

// The step merges a pass's samples once and folds them into each client.
// Every client must still hold what adding each sample to it in turn gives:
// with more centres than the pool takes at once, and for a client whose
// aggregate fills up in the pass (its last slot absorbing the surplus in
// arrival order).
TEST(SampleStep, EveryClientGetsWhatAddingEachSampleInTurnGives)
{
    START_TEST_SERVER(ts);
    std::vector<uint8_t> bytes = mixed_pass();
    ts.set_samples(bytes);
    int fds[3];
    for (int &fd : fds)
        fd = ts.connect_client();
    while (ts.server().client_count < 3)
        poll_clients(ts.server(), 0);
    Client *clients[3];
    clients[0] = first_client(ts.server());
    clients[1] = next_client(ts.server(), clients[0]);
    clients[2] = next_client(ts.server(), clients[1]);
    for (Client *c : clients)
        for (SampleAggregate &a : c->aggregates)
            a.period_ms = 100000000; // no flush here
    take_400_slots(clients[1]->aggregates);

    // What adding each report's sample in turn gives, from the same starts.
    auto plain = std::make_unique<AggregatePair>(), crowded = std::make_unique<AggregatePair>();
    memset(plain.get(), 0, sizeof *plain);
    memset(crowded.get(), 0, sizeof *crowded);
    take_400_slots(crowded->by_detector);
    auto sample = std::make_unique<SpectralSample>();
    for (size_t at = 0, consumed = 0; at < bytes.size(); at += consumed) {
        ASSERT_EQ(parse_ath11k_report(bytes.data() + at, bytes.size() - at, *sample, consumed),
                  SourceError::Success);
        aggregate_add_sample(plain->by_detector, *sample);
        aggregate_add_sample(crowded->by_detector, *sample);
    }
    ASSERT_EQ(crowded->by_detector[0].slots_used, 512u); // the surplus met the last slot

    ASSERT_EQ(handle_samples(ts.server()), 0);
    for (size_t d = 0; d < 2; ++d) {
        EXPECT_EQ(wdtest::aggregate_difference(plain->by_detector[d], clients[0]->aggregates[d]),
                  "")
            << "detector " << d;
        EXPECT_EQ(wdtest::aggregate_difference(crowded->by_detector[d], clients[1]->aggregates[d]),
                  "")
            << "detector " << d;
        EXPECT_EQ(wdtest::aggregate_difference(plain->by_detector[d], clients[2]->aggregates[d]),
                  "")
            << "detector " << d;
    }
    for (int fd : fds)
        close(fd);
}

TEST(SampleStep, InvalidReportsAreCountedAndSkipped)
{
    START_TEST_SERVER(ts);
    wdtest::Ath11kReport bad;
    bad.length = 30; // no valid bin count
    bad.bins.assign(5, 0);
    std::vector<uint8_t> bytes = reports_at({2412});
    wdtest::append_report(bytes, bad);
    std::vector<uint8_t> more = reports_at({2437, 2462});
    bytes.insert(bytes.end(), more.begin(), more.end() - 10); // the last one cut
    ts.set_samples(bytes);
    testing::internal::CaptureStderr();
    ASSERT_EQ(handle_samples(ts.server()), 0);
    std::string err = testing::internal::GetCapturedStderr();
    // One read: two good reports, one bad, and one cut by the end of the
    // read, which is lost.
    EXPECT_EQ(err, "Detected invalid, samples: 2, invalid: 1, skipped: 1, total attempts: 4\n");
}

TEST(SampleStep, APauseInTheReportsReArmsEveryPassUntilTheyReturn)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2412}));
    ASSERT_TRUE(ts.run_for(50));
    ts.write("spectral_scan_ctl", "");
    ASSERT_TRUE(ts.run_for(100));
    EXPECT_EQ(ts.read("spectral_scan_ctl"), ""); // samples flow: no re-arm

    ts.set_samples({});
    uint64_t paused = now_ms();
    uint64_t first_rearm = 0;
    ASSERT_TRUE(ts.run_for(400, [&] {
        if (ts.read("spectral_scan_ctl") == "trigger") {
            if (!first_rearm)
                first_rearm = now_ms();
            ts.write("spectral_scan_ctl", "");
        }
    }));
    // At the first pass more than 200 ms after the last sample.
    EXPECT_EQ(first_rearm - paused, SAMPLE_TIMEOUT_MS + PASS_MS);
    EXPECT_EQ(ts.read("spectral_bins"), "128");
    // Still re-arming at the end, in every pass.
    ts.write("spectral_scan_ctl", "");
    ASSERT_TRUE(ts.pass());
    EXPECT_EQ(ts.read("spectral_scan_ctl"), "trigger");

    ts.set_samples(reports_at({2412}));
    ASSERT_TRUE(ts.pass());
    ts.write("spectral_scan_ctl", "");
    ASSERT_TRUE(ts.run_for(50));
    EXPECT_EQ(ts.read("spectral_scan_ctl"), "");
}

TEST(SampleStep, AVanishedSampleFileIsSurvivedAndAFailedReArmStops)
{
    START_TEST_SERVER(ts);
    ASSERT_EQ(unlink(ts.file("spectral_scan0").c_str()), 0);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(ts.run_for(100));
    // The control file cannot be written any more: the re-arm fails.
    ASSERT_EQ(unlink(ts.file("spectral_scan_ctl").c_str()), 0);
    ASSERT_EQ(mkdir(ts.file("spectral_scan_ctl").c_str(), 0755), 0);
    bool failed = false;
    for (int i = 0; i < 100 && !failed; i++)
        failed = !ts.pass();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(failed);
    EXPECT_NE(err.find("Failed to open " + ts.file("spectral_scan0")), std::string::npos) << err;
    EXPECT_NE(err.find("Failed to re-trigger after next sweep channel: "), std::string::npos)
        << err;
    rmdir(ts.file("spectral_scan_ctl").c_str());
}

TEST(SweepTimer, BinCountFollowsTheWidthOnlyWhenAutomatic)
{
    START_TEST_SERVER(ts);
    Server &s = ts.server();
    s.requested_bins = 0; // automatic, as if -b was not given on an 80 MHz channel
    s.spectral.bin_count = 64;
    ts.set_samples(reports_at({5210}, 80));
    ASSERT_TRUE(ts.run_for(20));
    testing::internal::CaptureStderr();
    ts.set_samples(reports_at({5190}, 40));
    ASSERT_TRUE(ts.run_for(20));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Bandwidth changed to 40 MHz, updating bin count: 64 -> 32\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(s.spectral.bin_count, 32);
    EXPECT_EQ(ts.read("spectral_bins"), "64");
    EXPECT_EQ(s.bandwidth_changed, 0);

    ts.set_samples(reports_at({5190}, 2)); // a width the table lacks
    ASSERT_TRUE(ts.run_for(20));
    EXPECT_EQ(s.spectral.bin_count, 256);

    s.requested_bins = 64;
    s.spectral.bin_count = 64;
    testing::internal::CaptureStderr();
    ts.set_samples(reports_at({5190}, 40));
    ASSERT_TRUE(ts.run_for(20));
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Bandwidth changed"), std::string::npos) << err;
    EXPECT_EQ(s.spectral.bin_count, 64);
}

TEST(SweepTimer, BackgroundSweepWaitsForTheFirstSampleAndFollowsTheWidth)
{
    START_TEST_SERVER(ts);
    Server &s = ts.server();
    s.background_start = 2400;
    s.background_end = 2500;
    ASSERT_TRUE(ts.run_for(50));
    EXPECT_FALSE(sweep_active(s.radio)); // no width known yet

    testing::internal::CaptureStderr();
    ts.set_samples(reports_at(std::vector<uint16_t>(50, 2437)));
    ASSERT_TRUE(ts.run_until(1000, [&] { return sweep_type_is(s.radio, SweepType::Agile); }));
    EXPECT_EQ(s.radio.dwell_ms, 25u);
    EXPECT_EQ(s.radio.channel_count, 5u); // 2410, 2430, ... 2490
    EXPECT_EQ(s.radio.channel_freq[0], 2410u);

    // A 10 MHz width restarts it with 10 MHz slices and a longer dwell.
    ts.set_samples(reports_at(std::vector<uint16_t>(50, 2437), 10));
    EXPECT_TRUE(ts.run_until(1000, [&] { return s.radio.dwell_ms == 50u; }));
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(sweep_type_is(s.radio, SweepType::Agile));
    EXPECT_EQ(s.radio.channel_width[0], 10u);
    EXPECT_EQ(s.radio.channel_freq[0], 2405u);
    EXPECT_NE(err.find("Cancelled sweep for interface mon0"), std::string::npos) << err;

    // A cancellation by a client stops it; the next pass starts it again.
    cancel_sweep(s.radio);
    sweep_timer_step(s);
    EXPECT_TRUE(sweep_type_is(s.radio, SweepType::Agile));
}

TEST(SweepTimer, NoBackgroundSweepWithoutARange)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2437}));
    ASSERT_TRUE(ts.run_for(30));
    EXPECT_FALSE(sweep_active(ts.server().radio));
    ts.server().background_start = 2400; // one end alone is no range
    ASSERT_TRUE(ts.run_for(10));
    EXPECT_FALSE(sweep_active(ts.server().radio));
    ts.server().whole_band = 1;
    ASSERT_TRUE(ts.run_for(10));
    EXPECT_TRUE(sweep_type_is(ts.server().radio, SweepType::Agile));
    EXPECT_EQ(ts.server().radio.channel_freq[0], 2412u); // whole 2.4 GHz band, 20 MHz steps
}

TEST(SweepTimer, ARefusedBackgroundRangeIsRetriedOnceASecond)
{
    START_TEST_SERVER(ts);
    Server &s = ts.server();
    s.background_start = 5200; // equal ends: the sweep engine refuses them
    s.background_end = 5200;
    ts.set_samples(reports_at(std::vector<uint16_t>(50, 2437)));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(ts.run_for(1500));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(sweep_active(s.radio));
    size_t failures = 0;
    for (size_t at = 0; (at = err.find("Failed to activate background sweep: Invalid parameters\n",
                                       at)) != std::string::npos;
         ++at)
        ++failures;
    EXPECT_EQ(failures, 2u) << err; // tried at once, and again a second later
}

TEST(SweepTimer, AFiniteSweepTimesOutAndReArms)
{
    START_TEST_SERVER(ts);
    Server &s = ts.server();
    ts.set_samples(reports_at({2437}));
    ASSERT_TRUE(ts.run_for(10));
    // An agile sweep needs no netlink, so it stands in for a client sweep.
    SweepRequest req{SweepType::Agile, 2400, 2500, 0, 20, 1, 200};
    ASSERT_EQ(start_sweep(s.radio, req), RadioError::Success);
    uint64_t started = now_ms();
    testing::internal::CaptureStderr();
    uint64_t ended = 0;
    std::set<uint32_t> visited;
    ASSERT_TRUE(ts.run_for(1300, [&] {
        if (sweep_active(s.radio))
            visited.insert(s.radio.channel_freq[s.radio.channel_index]);
        else if (!ended)
            ended = now_ms();
    }));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Sweep timeout, restoring config\n"), std::string::npos) << err;
    // Ended by the first pass a second after its start, whatever the dwell.
    EXPECT_EQ(ended - started, 1000u);
    EXPECT_EQ(visited, (std::set<uint32_t>{2410, 2430, 2450, 2470, 2490}));
    EXPECT_EQ(ts.read("spectral_scan_ctl"), "trigger");
}

// "background" would take the detector back to the operating channel: an
// agile sweep's re-arms, after a hop or in a pause of the reports, name the
// slice again. The words are read through a FIFO in the control file's place.
TEST(SweepTimer, AnAgileSweepsReArmsKeepItsSlice)
{
    START_TEST_SERVER(ts);
    ts.set_samples(reports_at({2437}));
    ASSERT_TRUE(ts.run_for(10));
    const std::string ctl = ts.file("spectral_scan_ctl");
    ASSERT_EQ(unlink(ctl.c_str()), 0);
    ASSERT_EQ(mkfifo(ctl.c_str(), 0600), 0);
    FdGuard reader(open(ctl.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_GE(reader.get(), 0);
    SweepRequest req{SweepType::Agile, 2400, 2500, 0, 20, 0, 25};
    ASSERT_EQ(start_sweep(ts.server().radio, req), RadioError::Success);
    ASSERT_TRUE(ts.run_for(400)); // hops, and re-arms once the reports stop
    std::string words(65536, '\0');
    const ssize_t n = read(reader.get(), words.data(), words.size());
    ASSERT_GT(n, 0);
    words.resize(static_cast<size_t>(n));
    unlink(ctl.c_str()); // the teardown's "disable" would wait for a reader
    EXPECT_EQ(words.find("background"), std::string::npos) << words;
    EXPECT_NE(words.find("agile 2490trigger"), std::string::npos) << words;
}
