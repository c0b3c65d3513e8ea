// SPDX-License-Identifier: MIT
// The daemon's main loop under the load its clients bring: 20 clients on
// real Unix sockets, each reading its stream and changing its aggregation
// period every few hundred milliseconds, and a sample file that delivers
// 400 reports a second. The sample file is a FIFO fed by a thread, so a
// read that finds it empty waits for the next report: a read that costs
// more than the time between reports, as under emulation. Prints how
// long each client's command waited to be carried out and how long the
// loop's passes took.
#include "base/clock.h"
#include "command.h"
#include "core/clients.h"
#include "core/main_loop.h"
#include "core/server.h"
#include "rfwatchd_link.h"
#include "spectral_report.h"
#include "unix_listen.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int CLIENTS = 20;
constexpr int REPORTS_PER_S = 400;
constexpr int FREQS = 8;
constexpr int RUN_S = 10;
constexpr int COMMAND_EVERY_MS = 250;

using Clock = std::chrono::steady_clock;

int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// What one client asked for last and when; the loop's thread notes when
// the client's record shows it.
struct Asked {
    std::atomic<uint32_t> period{0};
    std::atomic<int64_t> sent_ns{0};
    uint32_t seen = 0; // loop thread only: the last period its record showed
};

Asked asked[CLIENTS];
std::atomic<bool> running{true};
std::atomic<long> lines_read{0};

void feed_reports(const std::string &fifo)
{
    int fd = open(fifo.c_str(), O_RDWR); // both ends: never EPIPE, never blocks the open
    if (fd < 0)
        abort();
    for (long n = 0; running; n++) {
        wdtest::Ath11kReport r;
        r.freq_mhz = static_cast<uint16_t>(2412 + 5 * (n % FREQS));
        r.bins.assign(64, static_cast<uint8_t>(n % 200));
        std::vector<uint8_t> bytes = wdtest::encode_report(r);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            abort();
        std::this_thread::sleep_for(std::chrono::microseconds(1000000 / REPORTS_PER_S));
    }
    close(fd);
}

void run_client(int i, const std::string &path)
{
    auto link = std::make_unique<DaemonLink>();
    long lines = 0;
    link_init(
        *link, path,
        {&lines, [](void *c, std::string_view) { ++*static_cast<long *>(c); }, nullptr, nullptr});
    // Twenty at once overflow the listener's backlog until the loop accepts.
    for (int tries = 0; !link_connect(*link, 0); tries++) {
        if (tries == 1000)
            abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int64_t next_command = now_ns() + int64_t{COMMAND_EVERY_MS} * 1000000 * (i + 1) / CLIENTS;
    for (uint32_t k = 0; running && link_connected(*link);) {
        if (now_ns() >= next_command) {
            // Unique per client and command, so the loop's thread can tell
            // whose command its record shows.
            uint32_t period = 100 + static_cast<uint32_t>(i) * 2 + (k++ % 2);
            asked[i].sent_ns = now_ns();
            asked[i].period = period;
            const std::string cmd = encode_command(
                {.kind = CommandKind::SetAggregation, .period_ms = static_cast<int32_t>(period)});
            if (link_submit(*link, cmd, 0) != LinkSubmit::Queued)
                abort();
            next_command += int64_t{COMMAND_EVERY_MS} * 1000000;
        }
        pollfd p{link_fd(*link), link_events(*link), 0};
        if (poll(&p, 1, 5) > 0)
            link_handle(*link, p.revents, 0); // no reconnecting: now stays before the retry
    }
    lines_read += lines;
    link_close(*link);
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))];
}

} // namespace

int main()
{
    char tmpl[] = "/tmp/rfwatchd-loop-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    std::string dir = tmpl;
    for (const char *f : {"spectral_scan_ctl", "spectral_bins", "chan_bw", "freq_shift"})
        close(open((dir + "/" + f).c_str(), O_WRONLY | O_CREAT, 0600));
    std::string fifo = dir + "/spectral_scan0";
    if (mkfifo(fifo.c_str(), 0600) != 0)
        return 1;
    std::thread feeder(feed_reports, fifo);

    const int lfd = wdtest::listen_unix_stream(dir + "/s.sock");
    if (lfd < 0)
        return 1;
    ServerOptions opts{};
    opts.bin_count = 64; // no channel query
    opts.listen_fd = lfd;
    static DiscoveredInterface found;
    snprintf(found.spectral_dir, sizeof found.spectral_dir, "%s", dir.c_str());
    snprintf(found.monitor.name, sizeof found.monitor.name, "mon0");
    found.monitor.ifindex = -1; // no sweeps here
    found.driver = &scan_drivers[0];
    auto *server = static_cast<Server *>(calloc(1, sizeof(Server)));
    if (server_init(*server, opts, found) != 0)
        return 1;

    std::vector<std::thread> clients;
    for (int i = 0; i < CLIENTS; i++)
        clients.emplace_back(run_client, i, dir + "/s.sock");

    std::vector<double> pass_ms, answer_ms;
    long passes = 0;
    int64_t end = now_ns() + int64_t{RUN_S} * 1000000000;
    while (now_ns() < end) {
        int64_t t0 = now_ns();
        if (main_loop_pass(*server) != 0)
            return 1;
        int64_t t1 = now_ns();
        pass_ms.push_back(static_cast<double>(t1 - t0) / 1e6);
        passes++;
        for (Client *c = first_client(*server); c; c = next_client(*server, c)) {
            // Consecutive commands of a client alternate their periods.
            uint32_t p = c->aggregates[0].period_ms;
            if (p < 100 || p >= 100 + 2 * CLIENTS)
                continue;
            Asked &a = asked[(p - 100) / 2];
            if (a.period == p && a.seen != p) {
                answer_ms.push_back(static_cast<double>(t1 - a.sent_ns) / 1e6);
                a.seen = p;
            }
        }
    }
    running = false;
    for (auto &t : clients)
        t.join();
    feeder.join();
    fflush(stdout);
    server_teardown(*server);
    free(server);
    (void)system(("rm -rf '" + dir + "'").c_str());

    printf("clients %d, reports/s %d, %d s, passes %ld, lines read %ld\n", CLIENTS, REPORTS_PER_S,
           RUN_S, passes, lines_read.load());
    printf("pass ms: median %.2f p99 %.2f max %.2f\n", percentile(pass_ms, 0.5),
           percentile(pass_ms, 0.99), percentile(pass_ms, 1.0));
    printf("command carried out after ms (%zu commands): median %.2f p99 %.2f max %.2f "
           "(period 100 ms)\n",
           answer_ms.size(), percentile(answer_ms, 0.5), percentile(answer_ms, 0.99),
           percentile(answer_ms, 1.0));
    return 0;
}
