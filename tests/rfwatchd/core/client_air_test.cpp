// SPDX-License-Identifier: MIT
// Air lines over the real sample and flush steps: one line per centre
// frequency per period, counted from the reports of that window; period 0
// stops them; and a client that never asks gets the very bytes it got
// before.
#include "capture/ath11k_report.h"
#include "test_clock.h"
#include "test_server.h"

#include <cJSON.h>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

using namespace coretest;

namespace
{

// Three reports at 2412 and two at 2437 every pass, on a clock that moves
// with the test's, so the engine sees time pass as the loop does.
void feed_pass(TestServer &ts)
{
    std::vector<uint8_t> bytes;
    const uint16_t freqs[] = {2412, 2412, 2412, 2437, 2437};
    uint32_t t = static_cast<uint32_t>(now_ms() * 1000);
    for (uint16_t f : freqs) {
        wdtest::Ath11kReport r;
        r.freq_mhz = f;
        r.timestamp = t += 1000;
        for (size_t i = 0; i < r.bins.size(); i++)
            r.bins[i] = static_cast<uint8_t>(i == 20 ? 200 : 10 + i % 5);
        wdtest::append_report(bytes, r);
    }
    ts.set_samples(bytes);
}

struct Read {
    std::vector<std::string> spectrum, air;
};

void read_lines(int fd, std::string &buf, Read &into)
{
    buf += drain(fd);
    for (std::string &l : take_lines(buf))
        (l.rfind("{\"air\":", 0) == 0 ? into.air : into.spectrum).push_back(l);
}

} // namespace

TEST(ClientAir, LinesPerFrequencyPerPeriodAndOthersUnchanged)
{
    START_TEST_SERVER(ts);
    feed_pass(ts);
    int a = ts.connect_client(), b = ts.connect_client();
    ASSERT_TRUE(ts.run_until(1000, [&] { return ts.server().client_count == 2; }));
    // Both spectrum windows on one grid, so the two streams must agree.
    for (Client *c = first_client(ts.server()); c; c = next_client(ts.server(), c))
        for (SampleAggregate &agg : c->aggregates) {
            aggregate_clear(agg);
            agg.last_flush_ms = now_ms();
        }
    send_text(a, R"({"command":4,"air_period_ms":200})");
    std::string buf_a, buf_b;
    Read ra, rb;
    ASSERT_TRUE(ts.run_for(1000, [&] {
        feed_pass(ts);
        read_lines(a, buf_a, ra);
        read_lines(b, buf_b, rb);
    }));
    EXPECT_EQ(ts.server().air.clients_on, 1);

    // 1000 ms of passes at 200: four windows due, the first also holding
    // the reports of the pass that turned air on.
    ASSERT_EQ(ra.air.size(), 8u);
    const uint64_t per_window = 200 / PASS_MS;
    std::map<int, int> lines_of;
    for (size_t i = 0; i < ra.air.size(); i++) {
        cJSON *j = cJSON_Parse(ra.air[i].c_str());
        ASSERT_NE(j, nullptr) << ra.air[i];
        const int freq = cJSON_GetObjectItem(j, "freq_mhz")->valueint;
        const double reports = cJSON_GetObjectItem(j, "reports")->valuedouble;
        EXPECT_EQ(cJSON_GetObjectItem(j, "window_ms")->valueint, 200) << ra.air[i];
        EXPECT_STREQ(cJSON_GetStringValue(cJSON_GetObjectItem(j, "driver")), "ath11k");
        lines_of[freq]++;
        const uint64_t windows = i < 2 ? per_window + 1 : per_window;
        EXPECT_EQ(reports, static_cast<double>(windows * (freq == 2412 ? 3 : 2))) << ra.air[i];
        cJSON_Delete(j);
    }
    EXPECT_EQ(lines_of, (std::map<int, int>{{2412, 4}, {2437, 4}}));
    EXPECT_TRUE(rb.air.empty());
    ASSERT_GT(rb.spectrum.size(), 10u);
    EXPECT_EQ(ra.spectrum, rb.spectrum);

    // A loop held up for five periods and then some: one window's lines,
    // no burst of the missed ones, and the next on the old grid (40 ms
    // before a period after the late flush: two lines, not four, otherwise).
    ra.air.clear();
    wdtest::test_clock_advance(1040);
    ASSERT_TRUE(ts.run_for(200, [&] { read_lines(a, buf_a, ra); }));
    EXPECT_EQ(ra.air.size(), 4u);

    // Stopped: nothing more, and the engine no longer fed.
    send_text(a, R"({"command":4,"air_period_ms":0})");
    ra.air.clear();
    ASSERT_TRUE(ts.run_for(600, [&] {
        feed_pass(ts);
        read_lines(a, buf_a, ra);
    }));
    EXPECT_TRUE(ra.air.empty());
    EXPECT_EQ(ts.server().air.clients_on, 0);

    // A client that leaves with air on gives its share back.
    send_text(b, R"({"command":4,"air_period_ms":100})");
    ASSERT_TRUE(ts.run_until(1000, [&] { return ts.server().air.clients_on == 1; }));
    close(b);
    EXPECT_TRUE(ts.run_until(1000, [&] { return ts.server().air.clients_on == 0; }));
    close(a);
}
