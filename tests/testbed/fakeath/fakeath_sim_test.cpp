// SPDX-License-Identifier: MIT
// The simulated driver's control words, consumption semantics and fault
// switches, driven the way the FUSE layer drives them.
#include "sim.h"
#include "spectral_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

using namespace fakeath;

namespace
{

// What one open-write-close of a control word gives, as the FUSE layer
// calls it: the write's result, else the close's.
int ctl(Sim &s, const std::string &word)
{
    int rc = sim_write_ctl(s, word);
    return rc ? rc : sim_close_ctl(s, word);
}

Sim triggered(double rate = 1000)
{
    Sim s;
    s.cfg.rate_hz = rate;
    s.cfg.model.jitter_db = 0;
    EXPECT_EQ(ctl(s, "background"), 0);
    EXPECT_EQ(ctl(s, "trigger"), 0);
    sim_tick(s, 1000); // starts the clock
    return s;
}

std::vector<uint8_t> read_all(Sim &s, size_t size = 2u << 20)
{
    std::vector<uint8_t> buf(size);
    long n = sim_read_samples(s, buf.data(), buf.size());
    EXPECT_GE(n, 0);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

struct Split {
    size_t reports = 0;
    size_t leftover = 0; // bytes of a report cut by the end
    std::vector<uint8_t> types;
    std::vector<unsigned> freqs;
};

uint64_t be(const std::vector<uint8_t> &b, size_t at, int n)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | b[at + size_t(i)];
    return v;
}

Split split(const std::vector<uint8_t> &b)
{
    Split out;
    size_t at = 0;
    while (at + 3 <= b.size()) {
        size_t len = (size_t(b[at + 1]) << 8 | b[at + 2]) + 3;
        if (at + len > b.size())
            break;
        out.types.push_back(b[at]);
        size_t fo = b[at] == 3 ? 4 : 12;
        out.freqs.push_back(unsigned(b[at + fo]) << 8 | b[at + fo + 1]);
        ++out.reports;
        at += len;
    }
    out.leftover = b.size() - at;
    return out;
}

} // namespace

TEST(FakeathCtl, WordsAreCheckedAtWriteAndLoggedInOrder)
{
    Sim s;
    EXPECT_EQ(sim_write_number(s, "spectral_bins", "128\n"), 0);
    EXPECT_EQ(ctl(s, "background"), 0);
    EXPECT_EQ(ctl(s, "bogus"), -EINVAL);
    EXPECT_EQ(ctl(s, "agile"), -EINVAL);
    EXPECT_EQ(ctl(s, "agile 52x0"), -EINVAL);
    EXPECT_EQ(ctl(s, "agile 5200"), 0);
    EXPECT_EQ(ctl(s, "trigger\n"), 0);
    EXPECT_EQ(sim_write_number(s, "chan_bw", "abc"), -EINVAL);
    EXPECT_EQ(sim_write_number(s, "spectral_bins", "0"), -EINVAL);
    EXPECT_EQ(ctl(s, "disable"), 0);
    std::vector<std::string> want = {"spectral_bins 128",
                                     "spectral_scan_ctl background",
                                     "spectral_scan_ctl bogus refused",
                                     "spectral_scan_ctl agile refused",
                                     "spectral_scan_ctl agile 52x0 refused",
                                     "spectral_scan_ctl agile 5200",
                                     "spectral_scan_ctl trigger",
                                     "chan_bw abc refused",
                                     "spectral_bins 0 refused",
                                     "spectral_scan_ctl disable"};
    EXPECT_EQ(s.log, want);
    EXPECT_EQ(s.state, CtlState::Disabled);
    EXPECT_EQ(s.agile_mhz, 0);
}

TEST(FakeathCtl, NumbersReadBackAndBinsAreHalved)
{
    Sim s;
    EXPECT_EQ(sim_write_number(s, "chan_bw", "-3"), 0);
    EXPECT_EQ(sim_write_number(s, "freq_shift", "7"), 0);
    EXPECT_EQ(sim_write_number(s, "spectral_bins", "512"), 0);
    EXPECT_EQ(sim_read_number(s, "chan_bw"), "-3\n");
    EXPECT_EQ(sim_read_number(s, "freq_shift"), "7\n");
    EXPECT_EQ(sim_read_number(s, "spectral_bins"), "512\n");
    EXPECT_EQ(sim_bin_count(s), 256u);
}

TEST(FakeathCtl, RefusalAtCloseLeavesTheScanAsItWas)
{
    Sim s;
    static const char agile[] = "agile";
    s.cfg.faults.refuse_at_close[0] = agile;
    s.cfg.faults.refuse_count = 1;
    EXPECT_EQ(ctl(s, "background"), 0);
    EXPECT_EQ(sim_write_ctl(s, "agile 5180"), 0); // the write itself succeeds
    EXPECT_EQ(sim_close_ctl(s, "agile 5180"), -EIO);
    EXPECT_EQ(s.agile_mhz, 0);
    EXPECT_EQ(s.log.back(), "spectral_scan_ctl agile 5180 refused-at-close");
    EXPECT_EQ(ctl(s, "trigger"), 0);
    EXPECT_EQ(s.state, CtlState::Triggered);
}

TEST(FakeathGenerator, ReportsFlowAtTheRateOnlyWhileTriggered)
{
    Sim s = triggered(200);
    sim_write_number(s, "spectral_bins", "128");
    sim_tick(s, 1000 + 500);
    auto b = read_all(s);
    Split r = split(b);
    EXPECT_EQ(r.reports, 100u);
    EXPECT_EQ(r.leftover, 0u);
    EXPECT_EQ(b.size(), 100u * (wdtest::ATH11K_HEAD + 64));
    // Types alternate, the centre is the phy's channel.
    EXPECT_EQ(r.types[0], 4);
    EXPECT_EQ(r.types[1], 100);
    EXPECT_EQ(r.freqs[0], 2437u);
    EXPECT_EQ(ctl(s, "disable"), 0);
    sim_tick(s, 3000);
    EXPECT_TRUE(read_all(s).empty());
}

TEST(FakeathGenerator, AgileWordRetunesAndBackgroundReturnsToTheChannel)
{
    Sim s = triggered();
    s.channel = {5210, 80};
    ctl(s, "agile 5500");
    ctl(s, "trigger");
    sim_tick(s, 1010);
    Split r = split(read_all(s));
    ASSERT_GT(r.reports, 0u);
    EXPECT_EQ(r.freqs.back(), 5500u);
    ctl(s, "background");
    ctl(s, "trigger");
    sim_tick(s, 1020);
    r = split(read_all(s));
    ASSERT_GT(r.reports, 0u);
    EXPECT_EQ(r.freqs.back(), 5210u);
}

TEST(FakeathGenerator, Ath10kServesType3)
{
    Sim s;
    s.cfg.driver = Driver::Ath10k;
    ctl(s, "background");
    ctl(s, "trigger");
    sim_tick(s, 1000);
    sim_tick(s, 1010);
    Split r = split(read_all(s));
    ASSERT_GT(r.reports, 0u);
    for (uint8_t t : r.types)
        EXPECT_EQ(t, 3);
}

TEST(FakeathQueue, AReadConsumesWhatItReturnsAndAnEmptyQueueReadsZero)
{
    Sim s = triggered();
    sim_tick(s, 1003); // three reports of 92 bytes
    ASSERT_EQ(s.queue.size(), 3u * 92u);
    auto first = read_all(s, 100);
    EXPECT_EQ(first.size(), 100u);
    auto rest = read_all(s);
    EXPECT_EQ(rest.size(), 3u * 92u - 100u);
    EXPECT_EQ(first[92], 100);     // the second report's type byte
    EXPECT_EQ(rest[184 - 100], 4); // the third's, right where it was queued
    EXPECT_TRUE(read_all(s).empty());
}

TEST(FakeathQueue, AFullQueueDropsNewReports)
{
    Sim s = triggered(100000);
    sim_tick(s, 1000 + 1000);
    EXPECT_LE(s.queue.size(), QUEUE_LIMIT);
    EXPECT_GT(s.dropped, 0u);
}

TEST(FakeathQueue, TheLiveClockOwesAtMostTheCatchUpWindow)
{
    // 1000 reports a second: a tick 10 s late queues 100 ms of them, not
    // 10 000, and the time given up is counted.
    Sim s = triggered(1000);
    sim_tick_live(s, 1000 + 10000);
    EXPECT_EQ(s.generated, MAX_CATCH_UP_MS);
    EXPECT_EQ(s.lost_ms, 10000 - MAX_CATCH_UP_MS);
    // On time, nothing is given up.
    sim_tick_live(s, 1000 + 10000 + 50);
    EXPECT_EQ(s.generated, MAX_CATCH_UP_MS + 50);
    EXPECT_EQ(s.lost_ms, 10000 - MAX_CATCH_UP_MS);
}

TEST(FakeathFaults, FailedReadsThenNormalOnes)
{
    Sim s = triggered();
    s.cfg.faults.fail_reads = 2;
    sim_tick(s, 1005);
    uint8_t buf[4096];
    EXPECT_EQ(sim_read_samples(s, buf, sizeof buf), -EIO);
    EXPECT_EQ(sim_read_samples(s, buf, sizeof buf), -EIO);
    EXPECT_EQ(sim_read_samples(s, buf, sizeof buf), 5 * 92);
    s.cfg.faults.fail_reads = -1;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(sim_read_samples(s, buf, sizeof buf), -EIO);
}

TEST(FakeathFaults, SplitReadEndsInsideAReportAndTheNextReadHoldsTheRest)
{
    Sim s = triggered();
    s.cfg.faults.split_every = 1;
    sim_tick(s, 1004);
    auto a = read_all(s);
    Split ra = split(a);
    EXPECT_EQ(ra.reports, 3u);
    EXPECT_EQ(ra.leftover, 46u);
    s.cfg.faults.split_every = 0;
    auto b = read_all(s);
    EXPECT_EQ(b.size(), 46u);
    // Together they are the four whole reports.
    a.insert(a.end(), b.begin(), b.end());
    EXPECT_EQ(split(a).reports, 4u);
    EXPECT_EQ(split(a).leftover, 0u);
}

TEST(FakeathFaults, FillerInvalidReportsBurstAndPause)
{
    Sim s;
    s.cfg.rate_hz = 1000;
    s.cfg.faults.filler_bytes = 5;
    s.cfg.faults.invalid_every = 2;
    s.cfg.faults.burst = 1200;
    s.cfg.faults.pause_after_ms = 10;
    s.cfg.faults.pause_for_ms = 100;
    ctl(s, "background");
    ctl(s, "trigger");
    EXPECT_EQ(s.generated, 1200u); // the burst, at the first trigger only
    auto b = read_all(s);
    EXPECT_EQ(b.size(), 600u * (5 + 92) + 600u * (5 + 28 + 100));
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[5], 4);
    EXPECT_EQ(b[5 + 92 + 5 + 2], 125); // second report: 100 bins
    ctl(s, "disable");
    ctl(s, "background");
    ctl(s, "trigger");
    EXPECT_EQ(s.generated, 1200u);
    sim_tick(s, 1000);
    sim_tick(s, 1000 + 50); // 10 ms of reports, then the pause
    EXPECT_EQ(s.generated, 1210u);
    sim_tick(s, 1000 + 150); // the pause ended at 110 ms
    EXPECT_EQ(s.generated, 1250u);
}

TEST(FakeathReplay, RecordedReportsAreServedInOrderAndLoop)
{
    wdtest::Ath10kReport a, b;
    a.freq_mhz = 5180;
    b.freq_mhz = 5200;
    std::vector<uint8_t> file;
    wdtest::append_report(file, a);
    wdtest::append_report(file, b);
    Sim s = triggered();
    ASSERT_EQ(sim_load_replay(s, file), 0);
    s.replay_loop = true;
    sim_tick(s, 1003);
    Split r = split(read_all(s));
    ASSERT_EQ(r.reports, 3u);
    EXPECT_EQ(r.freqs, (std::vector<unsigned>{5180, 5200, 5180}));
    s.replay_loop = false;
    sim_tick(s, 1010);
    EXPECT_EQ(split(read_all(s)).reports, 1u); // the file's end

    std::vector<uint8_t> cut(file.begin(), file.end() - 1);
    Sim t;
    EXPECT_EQ(sim_load_replay(t, cut), -1);
    EXPECT_EQ(sim_load_replay(t, {}), -1);
}

TEST(FakeathScene, EmittersGiveVirtualClockTimestampsAndTheirTruth)
{
    // A microwave seen by ath10k and by ath11k's type 4: reports at the
    // scene's jittered instants, the oven's level in the bins only in
    // the first half of each mains cycle, and its truth counted.
    for (Driver d : {Driver::Ath10k, Driver::Ath11k}) {
        Sim s = triggered(200);
        s.cfg.driver = d;
        s.cfg.types[0] = 4;
        s.cfg.type_count = 1;
        s.channel = {2442, 40};
        Emitter e;
        char err[64];
        ASSERT_EQ(emitter_parse(e, "microwave,dbm=-40", err, sizeof err), 0);
        s.cfg.emitters.push_back(e);
        sim_write_number(s, "spectral_bins", "256");
        sim_tick(s, 1000 + 2000);
        auto b = read_all(s);
        size_t at = 0, n = 0, on = 0;
        for (; at < b.size(); ++n) {
            size_t len = (size_t(b[at + 1]) << 8 | b[at + 2]) + 3;
            bool ath10k = b[at] == 3;
            uint64_t ts = ath10k ? be(b, at + 16, 8) : be(b, at + 20, 4);
            EXPECT_GE(ts, n * 5000);
            EXPECT_LT(ts, n * 5000 + 5000);
            // The floor is 55 dB below the oven: an "on" report's bins are
            // mostly near zero, an "off" report's are spread by the jitter.
            size_t head = ath10k ? wdtest::ATH10K_HEAD : wdtest::ATH11K_HEAD;
            size_t low = std::count_if(b.begin() + long(at + head), b.begin() + long(at + len),
                                       [](uint8_t m) { return m < 3; });
            bool shows = low > 64;
            EXPECT_EQ(shows, ts % 20000 < 10000) << ts;
            on += shows;
            at += len;
        }
        EXPECT_EQ(n, 400u);
        EXPECT_NEAR(double(on) / double(n), 0.5, 0.05);
        std::string truth;
        scene_truth_lines(s.scene, truth, true);
        EXPECT_NE(truth.find("{\"second\":1,\"emitter\":0,\"kind\":\"microwave\",\"mhz\":2450.0,"
                             "\"width_mhz\":8.0,\"dbm\":-40.0,\"reports\":200,"),
                  std::string::npos)
            << truth;
    }
}
