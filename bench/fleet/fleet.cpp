// SPDX-License-Identifier: MIT
// A fleet of access points publishing to one broker: N stand-in rfwatchd
// sockets (10 lines a second of 512 bins each), N rfwatch-mqtt processes,
// one mosquitto and one subscriber that counts. Prints delivered messages
// per second, losses, end-to-end latency, CPU per message of the broker and
// the publishers, and bytes per message, for json at QoS 0 and 1 and
// compact at QoS 0.
#include "fake_rfwatchd.h"
#include "mosquitto_broker.h"
#include "mqtt_client.h"
#include "spectrum_line.h"
#include "temp_dir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <mosquitto.h>
#include <mutex>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

using Clock = std::chrono::steady_clock;

struct Config {
    int aps = 50;
    int seconds = 20;
    int rate = 10; // lines per second per access point
    int bins = 512;
    std::string only; // run one pass: json0, json1 or compact0
};

struct Pass {
    const char *name;
    const char *format;
    int qos;
};

constexpr Pass PASSES[] = {{"json0", "json", 0}, {"json1", "json", 1}, {"compact0", "compact", 0}};

int64_t now_us()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

// A line as rfwatchd writes it; the timestamp field carries the send time
// (monotonic microseconds), so the subscriber measures latency from it.
std::string spectrum_line(int64_t stamp, int bins)
{
    std::vector<double> values(static_cast<size_t>(bins));
    for (int i = 0; i < bins; i++)
        values[static_cast<size_t>(i)] = -96.5 + (i * 37 % 400) / 10.0;
    return wdtest::spectrum_line({1, 5180, 80, -95, 40, static_cast<uint64_t>(stamp), 1, values}) +
           "\n";
}

uint64_t cpu_ticks(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    // Fields after the command: state(3) ... utime(14) stime(15).
    unsigned long utime = 0, stime = 0;
    if (sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
               &utime, &stime) != 2)
        return 0;
    return utime + stime;
}

pid_t spawn(const std::vector<std::string> &argv, const std::string &log)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// What the subscriber saw: per access point, the stamps received.
struct Tally {
    std::mutex mu;
    std::map<std::string, std::set<int64_t>> stamps;
    std::vector<int64_t> latencies_us;
    uint64_t messages = 0, bytes = 0;
};

int64_t stamp_of(const mosquitto_message &m, bool compact)
{
    const char *p = static_cast<const char *>(m.payload);
    if (compact) {
        int64_t v = 0;
        if (m.payloadlen >= 24)
            memcpy(&v, p + 16, sizeof v);
        return v;
    }
    const std::string_view text(p, static_cast<size_t>(m.payloadlen));
    const size_t at = text.find("\"timestamp\":");
    return at == std::string_view::npos ? -1 : atoll(p + at + 12);
}

double percentile(std::vector<int64_t> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return static_cast<double>(v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))]);
}

struct Fleet {
    std::string dir;
    wdtest::MosquittoBroker broker;
    std::vector<std::unique_ptr<wdtest::FakeRfwatchd>> daemons;
    std::vector<pid_t> publishers;
};

bool start_fleet(Fleet &f, const Config &c, const Pass &pass)
{
    for (int i = 0; i < c.aps; i++) {
        auto d = std::make_unique<wdtest::FakeRfwatchd>();
        if (!d->start(f.dir + "/ap" + std::to_string(i) + ".sock"))
            return false;
        f.daemons.push_back(std::move(d));
    }
    for (int i = 0; i < c.aps; i++) {
        const std::string name = "ap" + std::to_string(i);
        const pid_t pid =
            spawn({RFWATCH_MQTT_BIN, "-s", f.dir + "/" + name + ".sock", "-b",
                   "mqtt://fleet@127.0.0.1:" + std::to_string(f.broker.port()), "--password-file",
                   f.dir + "/fleet.pass", "--node", name, "--radio", "wlan0", "--format",
                   pass.format, "--qos", std::to_string(pass.qos)},
                  f.dir + "/" + name + "." + pass.name + ".log");
        if (pid < 0)
            return false;
        f.publishers.push_back(pid);
    }
    for (auto &d : f.daemons)
        if (!d->wait_clients(1, 60000))
            return false;
    return true;
}

void stop_fleet(Fleet &f)
{
    for (const pid_t pid : f.publishers)
        kill(pid, SIGTERM);
    for (const pid_t pid : f.publishers)
        waitpid(pid, nullptr, 0);
    f.publishers.clear();
    f.daemons.clear();
}

void run_pass(Fleet &f, const Config &c, const Pass &pass)
{
    Tally tally;
    const bool compact = std::string_view(pass.format) == "compact";
    wdtest::MqttClient sub;
    sub.on_message = [&](const mosquitto_message &m) {
        const int64_t stamp = stamp_of(m, compact);
        const int64_t lat = now_us() - stamp;
        std::lock_guard<std::mutex> lock(tally.mu);
        tally.stamps[m.topic].insert(stamp);
        tally.latencies_us.push_back(lat);
        tally.messages++;
        tally.bytes += static_cast<uint64_t>(m.payloadlen);
    };
    wdtest::MqttLogin login;
    login.user = "fleet";
    login.password = "fleet-secret";
    std::string why;
    if (!sub.connect(f.broker.port(), login, &why) ||
        !sub.subscribe("wifidiag/+/+/spectrum", pass.qos)) {
        fprintf(stderr, "fleet: subscriber: %s\n", why.c_str());
        return;
    }
    if (!start_fleet(f, c, pass)) {
        fprintf(stderr, "fleet: could not start the access points\n");
        stop_fleet(f);
        return;
    }
    // Let every publisher reach the broker before counting.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    {
        std::lock_guard<std::mutex> lock(tally.mu);
        tally.stamps.clear();
        tally.latencies_us.clear();
        tally.messages = tally.bytes = 0;
    }
    const uint64_t broker_cpu0 = cpu_ticks(f.broker.pid());
    uint64_t pub_cpu0 = 0;
    for (const pid_t pid : f.publishers)
        pub_cpu0 += cpu_ticks(pid);

    // Sends one line per access point per tick, spread over the tick.
    uint64_t sent = 0;
    const auto start = Clock::now();
    const auto tick = std::chrono::microseconds(1000000 / c.rate);
    auto next = start;
    while (Clock::now() - start < std::chrono::seconds(c.seconds)) {
        for (auto &d : f.daemons) {
            if (d->send(spectrum_line(now_us(), c.bins)))
                sent++;
        }
        next += tick;
        std::this_thread::sleep_until(next);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    // What is still on its way arrives within a few seconds.
    const auto drain_until = Clock::now() + std::chrono::seconds(5);
    uint64_t last = 0;
    while (Clock::now() < drain_until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::lock_guard<std::mutex> lock(tally.mu);
        if (tally.messages >= sent || (tally.messages == last && last > 0))
            break;
        last = tally.messages;
    }
    const uint64_t broker_cpu = cpu_ticks(f.broker.pid()) - broker_cpu0;
    uint64_t pub_cpu = 0;
    for (const pid_t pid : f.publishers)
        pub_cpu += cpu_ticks(pid);
    pub_cpu -= pub_cpu0;
    stop_fleet(f);
    sub.disconnect();

    std::lock_guard<std::mutex> lock(tally.mu);
    uint64_t unique = 0;
    for (const auto &[topic, stamps] : tally.stamps)
        unique += stamps.size();
    const double tick_us = 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
    const double delivered = static_cast<double>(unique);
    printf("%-9s aps=%d sent=%llu delivered=%llu (%.0f/s) lost=%lld dup=%llu "
           "latency median=%.1f ms p99=%.1f ms broker=%.1f us/msg publishers=%.1f us/msg "
           "bytes/msg=%.0f\n",
           pass.name, c.aps, static_cast<unsigned long long>(sent),
           static_cast<unsigned long long>(unique), delivered / elapsed,
           static_cast<long long>(sent) - static_cast<long long>(unique),
           static_cast<unsigned long long>(tally.messages - unique),
           percentile(tally.latencies_us, 0.5) / 1000, percentile(tally.latencies_us, 0.99) / 1000,
           delivered > 0 ? static_cast<double>(broker_cpu) * tick_us / delivered : 0,
           sent > 0 ? static_cast<double>(pub_cpu) * tick_us / static_cast<double>(sent) : 0,
           tally.messages > 0
               ? static_cast<double>(tally.bytes) / static_cast<double>(tally.messages)
               : 0);
    fflush(stdout);
}

bool parse(int argc, char **argv, Config &c)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view k = argv[i];
        const char *v = argv[i + 1];
        if (k == "--aps")
            c.aps = atoi(v);
        else if (k == "--seconds")
            c.seconds = atoi(v);
        else if (k == "--rate")
            c.rate = atoi(v);
        else if (k == "--bins")
            c.bins = atoi(v);
        else if (k == "--pass")
            c.only = v;
        else
            return false;
    }
    return argc % 2 == 1 && c.aps > 0 && c.seconds > 0 && c.rate > 0 && c.bins > 0;
}

} // namespace

int main(int argc, char **argv)
{
    Config c;
    if (!parse(argc, argv, c)) {
        fprintf(stderr,
                "Usage: %s [--aps N] [--seconds S] [--rate LINES_PER_S] [--bins B] "
                "[--pass json0|json1|compact0]\n",
                argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    if (!wdtest::mosquitto_available()) {
        fprintf(stderr, "fleet: SKIPPED: mosquitto, mosquitto_passwd or openssl missing\n");
        return 77;
    }
    const wdtest::TempDir dir("rfwatch-fleet");
    if (dir.path().empty()) {
        fprintf(stderr, "fleet: cannot make a folder in /tmp\n");
        return 1;
    }
    Fleet f;
    f.dir = dir.path();
    std::ofstream(f.dir + "/fleet.pass") << "fleet-secret\n";
    wdtest::BrokerSetup setup;
    setup.users = {{"fleet", "fleet-secret"}};
    setup.tls = false;
    std::string why;
    if (!f.broker.prepare(f.dir, setup, &why) || !f.broker.start(&why)) {
        fprintf(stderr, "fleet: %s\n", why.c_str());
        return 1;
    }
    printf("fleet: %d access points, %d lines/s each of %d bins, %d s per pass, %ld cores\n", c.aps,
           c.rate, c.bins, c.seconds, sysconf(_SC_NPROCESSORS_ONLN));
    for (const Pass &pass : PASSES)
        if (c.only.empty() || c.only == pass.name)
            run_pass(f, c, pass);
    f.broker.stop();
    return 0;
}
