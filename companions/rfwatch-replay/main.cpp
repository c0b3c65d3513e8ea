// SPDX-License-Identifier: MIT
// rfwatch-replay: serves a recording of rfwatchd's stream on a Unix socket
// as the daemon would, so that every client (rfwatch-web, rfwatch-view,
// rfwatch-mqtt, rfwatch-record) can be run against what was seen on a
// radio. One poll() loop over the listening socket, the clients and the
// instant the next line is due.
#include "air_line.h"
#include "command.h"
#include "listen_socket.h"
#include "options.h"
#include "replay_clients.h"
#include "replay_command.h"
#include "replay_source.h"
#include "schedule.h"

#include <array>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

volatile sig_atomic_t stop = 0;

void on_signal(int /*signal*/)
{
    stop = 1;
}

constexpr int EXIT_USAGE = 2;
// Lines served in one go when the loop is late, before clients are heard.
constexpr int SERVE_BATCH = 256;
// How long the last lines may take to reach slow clients at the end.
constexpr int64_t DRAIN_US = 2000000;
// How long the first line waits for the commands of the first client.
constexpr int64_t FIRST_LINE_DELAY_US = 100000;
// At most one log line per this long for the passes of --loop.
constexpr int64_t PASS_LOG_US = 10000000;
// What a read of a client takes, as rfwatchd's.
constexpr size_t READ_SIZE = 4096;

__attribute__((format(printf, 1, 2))) void say(const char *format, ...)
{
    std::array<char, 1024> text{};
    va_list args;
    va_start(args, format);
    vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    fprintf(stderr, "rfwatch-replay: %s\n", text.data());
}

int64_t monotonic_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// A recording instant as people read it, UTC.
std::string utc_text(uint64_t time_us)
{
    const auto seconds = static_cast<time_t>(time_us / 1000000);
    tm t{};
    gmtime_r(&seconds, &t);
    std::array<char, 32> text{};
    strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S UTC", &t);
    return text.data();
}

double seconds_of(uint64_t us)
{
    return static_cast<double>(us) / 1e6;
}

struct Program {
    ReplayOptions o;
    ListenSocket listener;
    ReplaySource source;
    ReplaySchedule schedule;
    ReplayClients clients;
    int64_t next_due = 0;
    uint64_t pass = 1;
    int64_t pass_said_us = 0;
    uint64_t served = 0; // lines, over all passes
    std::string out;     // the line being served and its "\n"
    std::array<char, READ_SIZE> in{};
    ReplayClient *commanding = nullptr; // the client whose commands are being run
};

void report_missed(ReplayClient &c)
{
    if (c.missed == 0)
        return;
    say("Client %d: %" PRIu64 " line(s) missed (it did not read them in time)", c.fd, c.missed);
    c.missed = 0;
}

void drop(Program &p, size_t i, const char *why)
{
    ReplayClient &c = p.clients.slot[i];
    report_missed(c);
    say("Client %d %s", c.fd, why);
    clients_remove(p.clients, i);
}

void serve_line(Program &p)
{
    const bool air = is_air_line(p.source.line);
    p.out.assign(p.source.line);
    p.out += '\n';
    for (size_t i = 0; i < p.clients.count;) {
        ReplayClient &c = p.clients.slot[i];
        if (air && !c.air) {
            i++;
            continue;
        }
        const Offer r = client_offer(c, p.out);
        if (r == Offer::Broken) {
            drop(p, i, "disconnected");
            continue;
        }
        if (r != Offer::Missed)
            report_missed(c);
        i++;
    }
    p.served++;
}

// Says how a pass ended when that was not a clean end; once, not per pass.
void report_pass_end(const Program &p)
{
    const ReplaySource &s = p.source;
    if (p.pass > 1)
        return;
    if (s.end == ReadResult::Torn || s.end == ReadResult::Damaged)
        say("%s, after %" PRIu64 " whole record(s): %s; the lines before it are served",
            s.path.c_str(), s.reader.records, recording_read_text(s.end));
    if (s.unreadable > 0)
        say("%s: %" PRIu64 " frame record(s) that hold no frame skipped", s.path.c_str(),
            s.unreadable);
}

void report_step(const Program &p, const ScheduleStep &step, uint64_t previous_us)
{
    if (step.gap_us > 0)
        say("no lines in the recording for %.1f s after %s (rfwatchd away or stalled): "
            "waiting %.1f s as recorded",
            seconds_of(step.gap_us), utc_text(previous_us).c_str(),
            seconds_of(step.gap_us) / p.o.speed);
    if (step.backwards)
        say("the recording's clock goes back %.1f s at %s: the line is served at once",
            seconds_of(previous_us - p.source.time_us), utc_text(p.source.time_us).c_str());
}

// Reads the next line and when it is due; false when there is none (the
// end without --loop, or a recording without lines).
bool advance(Program &p)
{
    while (!source_next(p.source)) {
        report_pass_end(p);
        if (!p.o.loop)
            return false;
        if (p.source.pass_lines == 0) {
            say("%s holds no lines to serve", p.source.path.c_str());
            return false;
        }
        const OpenResult r = source_rewind(p.source);
        if (r != OpenResult::Ok && r != OpenResult::TornHeader) {
            say("cannot read %s again: %s", p.source.path.c_str(), recording_open_text(r));
            return false;
        }
        schedule_rewind(p.schedule);
        p.pass++;
        // A short recording loops often: the log says so now and then.
        const int64_t now = monotonic_us();
        if (p.pass == 2 || now - p.pass_said_us >= PASS_LOG_US) {
            say("pass %" PRIu64 " begins", p.pass);
            p.pass_said_us = now;
        }
    }
    const uint64_t previous_us = p.schedule.last_time_us;
    const ScheduleStep step = schedule_next(p.schedule, p.source.time_us);
    report_step(p, step, previous_us);
    p.next_due = step.due_us;
    return true;
}

void on_command(void *context, std::string_view text)
{
    Program &p = *static_cast<Program *>(context);
    ReplayClient &c = *p.commanding;
    const CommandOutcome r = replay_command(c.fd, text);
    if (r.air_changed)
        c.air = r.air;
    say("%s", r.log.c_str());
}

// false: drop the client.
bool hear(Program &p, ReplayClient &c)
{
    const ssize_t n = recv(c.fd, p.in.data(), p.in.size(), MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    p.commanding = &c;
    if (n == 0) {
        // A half-close: it may still read, so it stays.
        command_input_end(c.input, on_command, &p);
        c.input_closed = true;
        return true;
    }
    command_input_feed(c.input, {p.in.data(), static_cast<size_t>(n)}, on_command, &p);
    return true;
}

void accept_clients(Program &p)
{
    for (;;) {
        const int fd = accept4(p.listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (!clients_add(p.clients, fd)) {
            say("Client %d refused: already %zu clients", fd, p.clients.count);
            close(fd);
            continue;
        }
        say("Client %d connected", fd);
    }
}

int timeout_ms(int64_t due, int64_t now)
{
    // Capped so that a missed wake-up costs little; rounded up so that the
    // loop does not spin just before the instant.
    constexpr int64_t MOST_MS = 1000;
    if (due <= now)
        return 0;
    const int64_t ms = (due - now + 999) / 1000;
    return static_cast<int>(ms < MOST_MS ? ms : MOST_MS);
}

// One poll round: new clients, their commands, their pending bytes.
void poll_round(Program &p, int timeout)
{
    std::array<pollfd, REPLAY_MAX_CLIENTS + 1> fds{};
    fds[0] = {p.listener.fd, POLLIN, 0};
    const size_t count = p.clients.count;
    for (size_t i = 0; i < count; i++) {
        const ReplayClient &c = p.clients.slot[i];
        const short want_in = c.input_closed ? 0 : POLLIN;
        fds[i + 1] = {c.fd, static_cast<short>(want_in | (c.pending.empty() ? 0 : POLLOUT)), 0};
    }
    if (poll(fds.data(), count + 1, timeout) <= 0)
        return;
    // Backwards, so that dropping a client (its slot takes the last one's)
    // leaves the slots still to be looked at where they were.
    for (size_t i = count; i-- > 0;) {
        ReplayClient &c = p.clients.slot[i];
        const short ev = fds[i + 1].revents;
        bool keep = true;
        if ((ev & POLLIN) != 0)
            keep = hear(p, c);
        if (keep && (ev & POLLOUT) != 0)
            keep = client_flush(c);
        if (keep && (ev & (POLLHUP | POLLERR)) != 0)
            keep = false;
        if (!keep)
            drop(p, i, "disconnected");
    }
    if ((fds[0].revents & POLLIN) != 0)
        accept_clients(p);
}

// The end of the recording: what is pending still goes out (a client must
// not be left with a cut line) for a short while, then everyone is closed.
void finish(Program &p)
{
    const int64_t until = monotonic_us() + DRAIN_US;
    for (;;) {
        bool pending = false;
        for (size_t i = 0; i < p.clients.count; i++)
            pending = pending || !p.clients.slot[i].pending.empty();
        const int64_t now = monotonic_us();
        if (!pending || stop || now >= until)
            break;
        poll_round(p, timeout_ms(until, now));
    }
    while (p.clients.count > 0) {
        const ReplayClient &c = p.clients.slot[p.clients.count - 1];
        drop(p, p.clients.count - 1, c.pending.empty() ? "closed" : "closed with a line cut short");
    }
}

void run(Program &p)
{
    // The clock starts with the first client, so that whoever starts a
    // replay and then its viewer sees it from the start; the first line
    // waits a moment for the commands a client sends as it connects.
    while (!stop && p.clients.count == 0)
        poll_round(p, 1000); // bounded: a signal may come just before poll
    if (stop)
        return;
    say("Client %d is the first: the replay begins", p.clients.slot[0].fd);
    schedule_start(p.schedule, p.o.speed, monotonic_us() + FIRST_LINE_DELAY_US);
    bool more = advance(p);
    while (!stop && more) {
        // Clients are heard before lines are served, so that a command sent
        // on connecting takes effect before the lines that follow it.
        poll_round(p, timeout_ms(p.next_due, monotonic_us()));
        const int64_t now = monotonic_us();
        for (int n = 0; more && p.next_due <= now && n < SERVE_BATCH; n++) {
            serve_line(p);
            more = advance(p);
        }
    }
    if (!stop)
        say("end of the recording: %" PRIu64 " line(s) served", p.served);
    finish(p);
}

void say_header(const Program &p)
{
    const RecordingHeader &h = p.source.reader.header;
    say("serving %s (radio %s, driver %s, recorded by %s from %s, started %s) on %s at %gx%s",
        p.o.file.c_str(), h.radio.empty() ? "?" : h.radio.c_str(),
        h.driver.empty() ? "not known" : h.driver.c_str(),
        h.recorder.empty() ? "?" : h.recorder.c_str(), h.source.empty() ? "?" : h.source.c_str(),
        utc_text(h.started_us).c_str(), p.o.socket_path.c_str(), p.o.speed,
        p.o.loop ? ", looping" : "");
}

void catch_signals()
{
    struct sigaction sa {
    };
    sa.sa_handler = on_signal; // no SA_RESTART: poll returns at once
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char **argv)
{
    static Program p; // the client table is large for a stack
    std::string error;
    const int done = cli_finish(REPLAY_CLI, replay_options_parse(argc, argv, p.o, error),
                                "rfwatch-replay", error, EXIT_USAGE);
    if (done >= 0)
        return done;

    const ReplaySourceGuard source_guard{p.source};
    const OpenResult opened = source_open(p.source, p.o.file.c_str());
    if (opened == OpenResult::Missing) {
        say("cannot open %s: %s", p.o.file.c_str(), strerror(errno));
        return 1;
    }
    if (opened == OpenResult::NotRecording) {
        say("%s: %s", p.o.file.c_str(), recording_open_text(opened));
        return 1;
    }
    if (opened == OpenResult::TornHeader)
        say("%s: %s; nothing to serve", p.o.file.c_str(), recording_open_text(opened));

    catch_signals();
    const ListenSocketGuard listener_guard{p.listener};
    const ListenResult bound = listen_socket_open(p.listener, p.o.socket_path.c_str());
    if (bound != ListenResult::Ok) {
        say("cannot serve on %s: %s", p.o.socket_path.c_str(), listen_result_text(bound));
        return 1;
    }
    say_header(p);
    run(p);
    return 0;
}
