// SPDX-License-Identifier: MIT
// rfwatch-record: records rfwatchd's lines, with the time each arrived,
// from its socket or from the fleet's broker, into a recording (or, with
// --ring, into the flight recorder's event files). One poll() loop; the
// sink syncs at most once a second, so a power cut loses little.
#include "command.h"
#include "mqtt_source.h"
#include "options.h"
#include "record_sink.h"
#include "rfwatchd_link.h"
#include "secret_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int EXIT_USAGE = 2;
// The sync tick: the sink must be looked at this often even in silence.
constexpr int64_t TICK_US = 1000000;

volatile sig_atomic_t stop = 0;
volatile sig_atomic_t usr1 = 0;

void on_stop(int /*signal*/)
{
    stop = 1;
}

void on_usr1(int /*signal*/)
{
    usr1 = 1;
}

int64_t clock_us(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

enum class SourceState { Unknown, Connected, Unreachable };

struct Program {
    RecordOptions options;
    DaemonLink daemon;
    MqttSource mqtt;
    RecordSink sink;
    SourceState source_state = SourceState::Unknown;
    uint64_t last_time_us = 0; // arrival times never go back, even when the clock is set
    uint64_t lines = 0;
    uint64_t overlongs_seen = 0;
    uint64_t rotations_seen = 0;
    bool failed = false;
};

// The arrival time: CLOCK_REALTIME, held back to the previous one when the
// clock was set back, so that a replay's pace stays sound.
uint64_t arrival_us(Program &p)
{
    const auto now = static_cast<uint64_t>(std::max<int64_t>(clock_us(CLOCK_REALTIME), 0));
    p.last_time_us = std::max(p.last_time_us, now);
    return p.last_time_us;
}

void fail(Program &p)
{
    if (!p.failed)
        fprintf(stderr, "rfwatch-record: %s\n", sink_error(p.sink).c_str());
    p.failed = true;
}

void note(Program &p, const std::string &json)
{
    if (!p.failed && !sink_note(p.sink, arrival_us(p), json, clock_us(CLOCK_MONOTONIC)))
        fail(p);
}

// A line too long to be rfwatchd's is skipped by the link, and counted
// before the line after it is handed over: the recording says, in its
// place, how many went missing.
void note_overlongs(Program &p)
{
    if (!p.options.mqtt_url.empty() || p.daemon.lines_in.overlongs == p.overlongs_seen)
        return;
    note(p, note_lost(p.daemon.lines_in.overlongs - p.overlongs_seen));
    p.overlongs_seen = p.daemon.lines_in.overlongs;
}

void on_line(void *context, std::string_view line)
{
    Program &p = *static_cast<Program *>(context);
    if (p.failed)
        return;
    note_overlongs(p);
    p.lines++;
    if (!sink_line(p.sink, arrival_us(p), line, clock_us(CLOCK_MONOTONIC)))
        fail(p);
    if (p.sink.file.rotations != p.rotations_seen) {
        p.rotations_seen = p.sink.file.rotations;
        fprintf(stderr, "rfwatch-record: %s reached %llu bytes: now %s.1\n",
                p.options.output.c_str(), static_cast<unsigned long long>(p.options.max_size),
                p.options.output.c_str());
    }
}

// One note per change, not one per attempt of an outage.
void source_changed(Program &p, const char *source, bool connected)
{
    const SourceState state = connected ? SourceState::Connected : SourceState::Unreachable;
    if (state == p.source_state)
        return;
    p.source_state = state;
    note(p, note_source(source, connected));
}

void on_change(void *context, LinkChange change, int error)
{
    Program &p = *static_cast<Program *>(context);
    const char *path = p.options.socket_path.c_str();
    switch (change) {
    case LinkChange::Connected:
        fprintf(stderr, "rfwatch-record: connected to rfwatchd at %s\n", path);
        // The daemon forgets a client's aggregation period and air lines
        // with the client.
        if (p.options.period_ms > 0)
            link_submit(p.daemon,
                        encode_command({.kind = CommandKind::SetAggregation,
                                        .period_ms = p.options.period_ms}),
                        0);
        if (p.options.air)
            link_submit(p.daemon,
                        encode_command(
                            {.kind = CommandKind::Air, .air_period_ms = p.options.air_period_ms}),
                        0);
        source_changed(p, "daemon", true);
        return;
    case LinkChange::Unreachable:
        fprintf(stderr, "rfwatch-record: cannot connect to rfwatchd at %s (%s); retrying\n", path,
                strerror(error));
        break;
    case LinkChange::Closed:
    case LinkChange::WriteFailed:
        fprintf(stderr, "rfwatch-record: %s; reconnecting\n",
                change == LinkChange::Closed ? "rfwatchd closed the connection"
                                             : "cannot write to rfwatchd");
        break;
    }
    source_changed(p, "daemon", false);
}

void on_broker(void *context, bool connected)
{
    Program &p = *static_cast<Program *>(context);
    if (connected)
        fprintf(stderr, "rfwatch-record: subscribed to %s\n", p.mqtt.topic_spectrum.c_str());
    source_changed(p, "broker", connected);
}

void on_refused(void *context)
{
    note(*static_cast<Program *>(context), note_lost(1));
}

bool using_mqtt(const Program &p)
{
    return !p.options.mqtt_url.empty();
}

void handle_signals(Program &p, int64_t now)
{
    if (usr1 == 0)
        return;
    usr1 = 0;
    if (p.options.mode != RecordMode::Ring) {
        fprintf(stderr, "rfwatch-record: SIGUSR1 ignored: it is an event for --ring only\n");
        return;
    }
    fprintf(stderr, "rfwatch-record: SIGUSR1: event\n");
    sink_trigger(p.sink, arrival_us(p), "usr1", now);
}

void run(Program &p)
{
    const int64_t start = clock_us(CLOCK_MONOTONIC);
    const int64_t end =
        p.options.duration_s > 0 ? start + p.options.duration_s * 1000000 : INT64_MAX;
    while (stop == 0 && !p.failed) {
        int64_t now = clock_us(CLOCK_MONOTONIC);
        if (now >= end)
            return;
        handle_signals(p, now);
        sink_tick(p.sink, arrival_us(p), now);
        std::array<pollfd, 1> fds{};
        int64_t next = std::min(end, now + TICK_US);
        if (using_mqtt(p)) {
            mqtt_source_tick(p.mqtt, now);
            fds[0] = {mqtt_source_socket(p.mqtt), mqtt_source_events(p.mqtt), 0};
            next = std::min(next, mqtt_source_deadline(p.mqtt, now));
        } else {
            fds[0] = {link_fd(p.daemon), link_events(p.daemon), 0};
            next = std::min(next, link_deadline(p.daemon));
        }
        const int timeout_ms =
            static_cast<int>(std::clamp<int64_t>((next - now + 999) / 1000, 0, 1000));
        if (poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR) {
            fprintf(stderr, "rfwatch-record: poll: %s\n", strerror(errno));
            p.failed = true;
            return;
        }
        now = clock_us(CLOCK_MONOTONIC);
        if (using_mqtt(p)) {
            if (fds[0].fd >= 0)
                mqtt_source_handle(p.mqtt, fds[0].revents, now);
            continue;
        }
        link_handle(p.daemon, fds[0].revents, now);
        note_overlongs(p);
    }
}

RecordingHeader header_of(const RecordOptions &o)
{
    RecordingHeader h;
    h.radio = o.radio;
    h.driver = o.driver;
    h.source = o.mqtt_url.empty() ? o.socket_path : o.topic;
    h.recorder = "rfwatch-record";
    return h;
}

bool output_ready(Program &p)
{
    const RecordOptions &o = p.options;
    std::string error;
    if (o.mode == RecordMode::File) {
        if (record_file_usable(o.output, error)) {
            sink_init_file(p.sink, header_of(o), o.output, o.max_size);
            return true;
        }
        fprintf(stderr, "rfwatch-record: %s\n", error.c_str());
        return false;
    }
    struct stat st {
    };
    if (stat(o.output.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        access(o.output.c_str(), W_OK | X_OK) != 0) {
        fprintf(stderr, "rfwatch-record: %s is no folder this program can write in\n",
                o.output.c_str());
        return false;
    }
    sink_init_flight(p.sink, {o.output, static_cast<int64_t>(o.ring_s) * 1000000, o.below,
                              o.max_size, header_of(o)});
    return true;
}

bool start_mqtt(Program &p)
{
    const RecordOptions &o = p.options;
    MqttSourceSetup setup{o.broker, o.topic, o.air, "", !o.password_file.empty(), o.cafile};
    std::string error;
    if (setup.has_password &&
        !read_secret_file(o.password_file.c_str(), SecretAccess::Shared, setup.password, error)) {
        fprintf(stderr, "rfwatch-record: %s\n", error.c_str());
        return false;
    }
    if (!o.cafile.empty() && access(o.cafile.c_str(), R_OK) != 0) {
        fprintf(stderr, "rfwatch-record: cannot read %s: %s\n", o.cafile.c_str(), strerror(errno));
        return false;
    }
    if (!mqtt_source_init(p.mqtt, std::move(setup), {&p, on_line, on_broker, on_refused})) {
        fprintf(stderr, "rfwatch-record: cannot initialise libmosquitto\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    auto p = std::make_unique<Program>();
    std::string error;
    const CliResult parsed = parse_options(argc, argv, p->options, error);
    if (const int status = cli_finish(RECORD_CLI, parsed, "rfwatch-record", error, EXIT_USAGE);
        status >= 0)
        return status;
    const RecordOptions &o = p->options;
    if (o.mode == RecordMode::Export)
        return run_export(o.export_kind, o.export_in.c_str(), o.export_out.c_str());
    if (!output_ready(*p) || (using_mqtt(*p) && !start_mqtt(*p)))
        return 1;

    struct sigaction sa {
    };
    sa.sa_handler = on_stop; // no SA_RESTART: poll() returns at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = on_usr1;
    sigaction(SIGUSR1, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A file size limit (ulimit -f) must end the recording like a full
    // disk, with the file whole, not kill the program in mid-record.
    signal(SIGXFSZ, SIG_IGN);

    if (!using_mqtt(*p))
        link_init(p->daemon, o.socket_path, {p.get(), on_line, on_change, nullptr});
    fprintf(stderr, "rfwatch-record: recording %s into %s\n",
            using_mqtt(*p) ? o.topic.c_str() : o.socket_path.c_str(), o.output.c_str());
    run(*p);
    if (using_mqtt(*p))
        mqtt_source_stop(p->mqtt);
    else
        link_close(p->daemon);
    sink_close(p->sink);
    fprintf(stderr, "rfwatch-record: %llu lines recorded\n",
            static_cast<unsigned long long>(p->lines));
    return p->failed ? 1 : 0;
}
