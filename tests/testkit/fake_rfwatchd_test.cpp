// SPDX-License-Identifier: MIT
// The stand-in daemon splits what clients write into commands the way
// rfwatchd takes them, and the spectrum-line builder writes what rfwatchd
// writes: tests of every companion rely on both.
#include "capture/sample_json.h"
#include "fake_rfwatchd.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <cjson/cJSON.h>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace wdtest;

TEST(FakeRfwatchd, CommandsAreSplitOnLineFeedsPerClientAndAnUnframedReadIsOne)
{
    TempDir dir("fake-rfwatchd-test");
    FakeRfwatchd daemon;
    std::string why;
    ASSERT_TRUE(daemon.start(dir.path() + "/s", &why)) << why;
    int c[2];
    for (size_t i = 0; i < 2; i++) {
        int &fd = c[i];
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s/s", dir.path().c_str());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        ASSERT_TRUE(daemon.wait_clients(i + 1, 20000)); // numbered in this order
    }
    // One write per read: each is waited for before the next. The first
    // client writes between the halves of the second one's cut command.
    const struct {
        int client;
        std::string text;
    } writes[] = {{0, R"({"command":3})"}, {0, "a\nb\n"}, {0, "\n\nc\n\nd"},
                  {1, "e\n{\"comm"},       {0, "f"},      {1, "and\":3}\n"}};
    size_t n = 0;
    for (const auto &w : writes) {
        ASSERT_EQ(write(c[w.client], w.text.data(), w.text.size()),
                  static_cast<ssize_t>(w.text.size()));
        ASSERT_TRUE(daemon.wait_reads(++n, 20000));
    }
    for (const int fd : c)
        close(fd);
    EXPECT_EQ(daemon.reads().size(), std::size(writes));
    EXPECT_EQ(daemon.commands(), (std::vector<std::string>{R"({"command":3})", "a", "b", "c", "d",
                                                           "e", "f", R"({"command":3})"}));
    EXPECT_TRUE(daemon.wait_commands(8, 0));
    EXPECT_FALSE(daemon.wait_commands(9, 0));
}

TEST(SpectrumLine, WrittenAsRfwatchdWritesIt)
{
    const double nan = std::nan("");
    const SpectrumLine cases[] = {
        {0, 2437, 20, -95, 40, 1, 5, {-95.25, nan, -90.0, 0.5}},
        {1, 65535, 160, -32768, 65535, UINT64_MAX, UINT32_MAX, {INFINITY, -INFINITY, 1.0, 2.0}},
        {1, 5180, 40, -109, 0, 4822678189205111, 1, ramp_bins(512)},
    };
    for (const SpectrumLine &l : cases) {
        SpectralSample s{};
        s.detector = static_cast<uint8_t>(l.detector);
        s.freq_mhz = static_cast<uint16_t>(l.freq_mhz);
        s.bandwidth_mhz = static_cast<uint16_t>(l.bandwidth_mhz);
        s.noise_dbm = static_cast<int16_t>(l.noise_dbm);
        s.rssi = static_cast<uint16_t>(l.rssi);
        s.timestamp = l.timestamp;
        s.bin_count = l.bins.size();
        for (size_t i = 0; i < l.bins.size(); i++)
            s.bins[i] = static_cast<float>(l.bins[i]);
        char *want = sample_to_json(s, l.num_aggregated);
        ASSERT_NE(want, nullptr);
        EXPECT_EQ(spectrum_line(l), want);
        cJSON_free(want);
    }
}
