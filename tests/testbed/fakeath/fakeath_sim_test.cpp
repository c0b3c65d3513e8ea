// The simulated driver's control words, consumption semantics and fault
// switches, driven the way the FUSE layer drives them.
#include "sim.h"
#include "spectral_report.h"

#include <gtest/gtest.h>

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
