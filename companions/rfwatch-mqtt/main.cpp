// SPDX-License-Identifier: MIT
// rfwatch-mqtt: publishes rfwatchd's spectra to an MQTT broker. One poll()
// loop over rfwatchd's socket and the broker's (only connecting to the
// broker, which blocks, runs on a helper thread); it reads the daemon all
// the time, whatever the broker does, and keeps at most --max-queue
// messages for it.
#include "air_line.h"
#include "broker_side.h"
#include "clock.h"
#include "command.h"
#include "frame.h"
#include "options.h"
#include "rfwatchd_link.h"
#include "secret_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace
{

volatile sig_atomic_t stop = 0;

void on_signal(int /*signal*/)
{
    stop = 1;
}

constexpr int EXIT_USAGE = 2;

struct Program {
    MqttOptions options;
    DaemonLink daemon;
    size_t unsent; // commands dropped with the last connection
    BrokerSide broker;
    SpectrumFrame frame;
    AirLine air; // only to check an air line before it is published as it is
};

void on_line(void *context, std::string_view line)
{
    Program &p = *static_cast<Program *>(context);
    // Air lines share the socket with spectra; in either format they go out
    // as rfwatchd wrote them, on their own topic.
    if (is_air_line(line)) {
        if (parse_air_line(line, p.air))
            broker_offer(p.broker, line, RingTopic::Air);
        else
            broker_count_unpublishable(p.broker);
        return;
    }
    if (p.options.format == PayloadFormat::Json) {
        broker_offer(p.broker, line);
        return;
    }
    if (!frame_from_line(line, p.frame)) {
        broker_count_unpublishable(p.broker);
        return;
    }
    broker_offer(p.broker, std::string_view(reinterpret_cast<const char *>(p.frame.bytes.data()),
                                            p.frame.size));
}

bool on_command(void *context, std::string_view json, std::string &error)
{
    const LinkSubmit r = link_submit(static_cast<Program *>(context)->daemon, json, 0);
    if (r != LinkSubmit::Queued)
        error = link_submit_message(r);
    return r == LinkSubmit::Queued;
}

void on_done(void *context, const LinkCommand & /*command*/, bool sent)
{
    if (!sent)
        static_cast<Program *>(context)->unsent++;
}

void report_unsent(Program &p)
{
    if (p.unsent > 0)
        fprintf(stderr, "rfwatch-mqtt: rfwatchd went away; %zu command(s) not sent\n", p.unsent);
    p.unsent = 0;
}

void on_change(void *context, LinkChange change, int error)
{
    Program &p = *static_cast<Program *>(context);
    const char *path = p.options.socket_path.c_str();
    switch (change) {
    case LinkChange::Connected:
        fprintf(stderr, "rfwatch-mqtt: connected to rfwatchd at %s\n", path);
        // The daemon forgets a client's aggregation period with the client.
        if (p.options.period_ms > 0)
            link_submit(p.daemon,
                        encode_command({.kind = CommandKind::SetAggregation,
                                        .period_ms = p.options.period_ms}),
                        0);
        // And its air lines too (a daemon without air analysis ignores it).
        if (p.options.air_period_ms > 0)
            link_submit(p.daemon,
                        encode_command(
                            {.kind = CommandKind::Air, .air_period_ms = p.options.air_period_ms}),
                        0);
        broker_set_daemon(p.broker, true);
        return;
    case LinkChange::Unreachable:
        fprintf(stderr, "rfwatch-mqtt: cannot connect to rfwatchd at %s (%s); retrying\n", path,
                strerror(error));
        return;
    case LinkChange::Closed:
    case LinkChange::WriteFailed:
        fprintf(stderr, "rfwatch-mqtt: %s; reconnecting\n",
                change == LinkChange::Closed ? "rfwatchd closed the connection"
                                             : "cannot write to rfwatchd");
        report_unsent(p);
        broker_set_daemon(p.broker, false);
        return;
    }
}

bool file_readable(const std::string &f)
{
    if (f.empty() || access(f.c_str(), R_OK) == 0)
        return true;
    fprintf(stderr, "rfwatch-mqtt: cannot read %s: %s\n", f.c_str(), strerror(errno));
    return false;
}

bool files_readable(const MqttOptions &o)
{
    return file_readable(o.cafile) && file_readable(o.cert) && file_readable(o.key);
}

void run(Program &p)
{
    uint64_t overlongs_seen = 0;
    while (!stop) {
        int64_t now = monotonic_us();
        broker_tick(p.broker, now);

        std::array<pollfd, 2> fds{};
        fds[0] = {link_fd(p.daemon), link_events(p.daemon), 0};
        fds[1] = {broker_socket(p.broker), broker_events(p.broker), 0};
        const int64_t next = std::min(link_deadline(p.daemon), broker_deadline(p.broker, now));
        const int timeout_ms =
            static_cast<int>(std::clamp<int64_t>((next - now + 999) / 1000, 0, 1000));
        if (poll(fds.data(), fds.size(), timeout_ms) < 0 && errno != EINTR) {
            fprintf(stderr, "rfwatch-mqtt: poll: %s\n", strerror(errno));
            return;
        }
        now = monotonic_us();
        link_handle(p.daemon, fds[0].revents, now);
        // Lines too long to be spectra are read and counted, never published.
        for (; overlongs_seen < p.daemon.lines_in.overlongs; overlongs_seen++)
            broker_count_unpublishable(p.broker);
        if (fds[1].fd >= 0)
            broker_handle(p.broker, fds[1].revents, now);
    }
}

} // namespace

int main(int argc, char **argv)
{
    auto p = std::make_unique<Program>();
    std::string error;
    const CliResult parsed = parse_options(argc, argv, p->options, error);
    if (const int status = cli_finish(MQTT_CLI, parsed, "rfwatch-mqtt", error, EXIT_USAGE);
        status >= 0)
        return status;
    std::string password;
    const bool has_password = !p->options.password_file.empty();
    if (has_password && !read_secret_file(p->options.password_file.c_str(), SecretAccess::Shared,
                                          password, error)) {
        fprintf(stderr, "rfwatch-mqtt: %s\n", error.c_str());
        return 1;
    }
    if (!files_readable(p->options))
        return 1;

    struct sigaction sa {
    };
    sa.sa_handler = on_signal; // no SA_RESTART: poll() returns at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    link_init(p->daemon, p->options.socket_path, {p.get(), on_line, on_change, on_done});
    if (!broker_init(p->broker, p->options, std::move(password), has_password, on_command,
                     p.get())) {
        fprintf(stderr, "rfwatch-mqtt: cannot initialise libmosquitto\n");
        return 1;
    }
    fprintf(stderr, "rfwatch-mqtt: publishing %s to %s\n", p->broker.topic_spectrum.c_str(),
            p->options.url_text.c_str());
    run(*p);
    broker_shutdown(p->broker);
    link_close(p->daemon);
    report_unsent(*p);
    return 0;
}
