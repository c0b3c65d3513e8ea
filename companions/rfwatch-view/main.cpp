// rfwatch-view: a small client of rfwatchd. Connects to its socket, can send
// the three commands, and shows the stream full-screen (spectrum and
// waterfall), as a per-frequency summary once a second, or one line per
// message. Ends on Ctrl-C (or q) or after -t seconds.
#include "command.h"
#include "fullscreen.h"
#include "line_reader.h"
#include "summary.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <getopt.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace
{

volatile sig_atomic_t stop = 0;
void on_signal(int /*signal*/)
{
    stop = 1;
}

struct ViewOptions {
    const char *socket_path = "rfwatchd.sock";
    double seconds = 0; // 0: until a signal
    std::vector<std::string> commands;
    bool lines = false;
    bool stall = false;
    int mode = 0; // 0: full screen when stdout is a terminal; else one of the below

    long command_gap_ms = 50;
    std::string title; // under the full-screen view
};

void usage(FILE *out, const char *prog)
{
    fprintf(out,
            "Usage: %s [OPTIONS]\n"
            "Shows rfwatchd's live spectrum. On a terminal, full screen: the spectrum with\n"
            "max-hold, a waterfall, the frequency axis, the dBm scale and the peak (keys:\n"
            "q quits, p pauses, m resets max-hold, d switches detector, + and - move the\n"
            "dB range). Otherwise per frequency, once a second, the width, the samples\n"
            "aggregated, and the peak and mean power of the bins.\n"
            "\n"
            "  -s, --socket PATH        rfwatchd's socket (default: rfwatchd.sock)\n"
            "  -t, --time SECONDS       stop after this long (default: at Ctrl-C)\n"
            "  -a, --aggregation MS     ask for one batch every MS milliseconds\n"
            "  -w, --sweep FROM-TO[,DURATION[,DWELL]]\n"
            "                           start an active sweep (MHz; seconds, 0 = no end; ms)\n"
            "  -c, --cancel             cancel the running sweep\n"
            "  -l, --lines              one line per message: ms since start, detector,\n"
            "                           frequency, width, samples, bins, peak, mean\n"
            "                           (null bins count as bins, not in peak and mean)\n"
            "      --waterfall          the full-screen view (the default on a terminal)\n"
            "      --summary            the once-a-second summary, also on a terminal\n"
            "      --title TEXT         a line kept under the full-screen view\n"
            "      --stall              connect (and send the commands) but never read\n"
            "  -g, --gap MS             pause between commands (default 50; the daemon\n"
            "                           takes one command per read)\n"
            "  -h, --help               this text\n"
            "Commands are sent in the order given, after connecting.\n",
            prog);
}

// The whole text a number within [min, max]: "abc" or "5x" is refused, not
// taken as 0 or 5 (a period of 0 would reach the daemon).
bool number_arg(const char *text, double min, double max, double &out)
{
    char *end = nullptr;
    errno = 0;
    const double v = strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !(v >= min && v <= max))
        return false;
    out = v;
    return true;
}

bool whole_arg(const char *text, long min, long max, long &out)
{
    double v = 0;
    if (!number_arg(text, static_cast<double>(min), static_cast<double>(max), v) ||
        v != static_cast<double>(static_cast<long>(v)))
        return false;
    out = static_cast<long>(v);
    return true;
}

// -a and --sweep: the command checked against rfwatchd-stream's limits.
bool command_arg(const char *prog, const char *option, CommandKind kind, const char *arg,
                 ViewOptions &o)
{
    DaemonCommand cmd{};
    const CommandCheck check = command_from_option(kind, arg, cmd);
    if (check.error != CommandError::Ok) {
        fprintf(stderr, "%s: %s %s: %s\n", prog, option, arg,
                command_error_text(check, CommandKeys::Page).c_str());
        return false;
    }
    o.commands.push_back(encode_command(cmd));
    return true;
}

int parse(int argc, char **argv, ViewOptions &o)
{
    static const option longs[] = {
        {"socket", required_argument, nullptr, 's'},
        {"time", required_argument, nullptr, 't'},
        {"aggregation", required_argument, nullptr, 'a'},
        {"sweep", required_argument, nullptr, 'w'},
        {"cancel", no_argument, nullptr, 'c'},
        {"lines", no_argument, nullptr, 'l'},
        {"stall", no_argument, nullptr, 'S'},
        {"waterfall", no_argument, nullptr, 'W'},
        {"summary", no_argument, nullptr, 'U'},
        {"title", required_argument, nullptr, 'T'},
        {"gap", required_argument, nullptr, 'g'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int c;
    while ((c = getopt_long(argc, argv, "s:t:a:w:clg:h", longs, nullptr)) != -1) {
        switch (c) {
        case 's':
            o.socket_path = optarg;
            break;
        case 't':
            if (!number_arg(optarg, 0, 1e9, o.seconds)) {
                fprintf(stderr, "%s: --time takes a number of seconds, not %s\n", argv[0], optarg);
                return 1;
            }
            break;
        case 'a':
            if (!command_arg(argv[0], "--aggregation", CommandKind::SetAggregation, optarg, o))
                return 1;
            break;
        case 'w':
            if (!command_arg(argv[0], "--sweep", CommandKind::StartSweep, optarg, o))
                return 1;
            break;
        case 'c':
            o.commands.push_back(encode_command({.kind = CommandKind::CancelSweep}));
            break;
        case 'l':
            o.lines = true;
            break;
        case 'S':
            o.stall = true;
            break;
        case 'W':
        case 'U':
            o.mode = c;
            break;
        case 'T':
            o.title = optarg;
            break;
        case 'g':
            if (!whole_arg(optarg, 0, 60000, o.command_gap_ms)) {
                fprintf(stderr, "%s: --gap takes a whole number of ms (0 to 60000), not %s\n",
                        argv[0], optarg);
                return 1;
            }
            break;
        case 'h':
            usage(stdout, argv[0]);
            exit(0);
        default:
            usage(stderr, argv[0]);
            return 1;
        }
    }
    return 0;
}

double now_s()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int connect_to(const char *path)
{
    sockaddr_un addr{};
    if (strlen(path) >= sizeof addr.sun_path) {
        fprintf(stderr, "rfwatch-view: socket path too long: %s\n", path);
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path, strlen(path) + 1);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        fprintf(stderr, "rfwatch-view: cannot connect to %s: %s\n", path, strerror(errno));
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

void sleep_ms(long ms)
{
    timespec d{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&d, &d) != 0 && errno == EINTR && !stop) {
    }
}

void show(std::string_view text, const ViewOptions &o, Summary &s, double start)
{
    SampleLine l{};
    if (!parse_sample_line(text, l)) {
        s.bad_lines++;
        if (o.lines)
            printf("? %.*s\n", static_cast<int>(text.size()), text.data());
        return;
    }
    if (o.lines) {
        // A line whose bins are all null has no power to show.
        char peak[32] = "-", mean[32] = "-";
        if (l.valued_bins > 0) {
            snprintf(peak, sizeof peak, "%.2f", l.peak_dbm);
            snprintf(mean, sizeof mean, "%.2f", l.mean_dbm);
        }
        printf("%ld %d %d %d %ld %d %s %s\n", static_cast<long>((now_s() - start) * 1000),
               l.detector, l.freq_mhz, l.bandwidth_mhz, l.num_aggregated, l.bin_count, peak, mean);
    } else
        summary_add(s, l);
}

// Sends the commands given on the command line, spaced so that the daemon
// takes each on a read of its own.
bool send_commands(int fd, const ViewOptions &o)
{
    for (size_t i = 0; i < o.commands.size() && !stop; i++) {
        if (i > 0)
            sleep_ms(o.command_gap_ms);
        const std::string &cmd = o.commands[i];
        if (write(fd, cmd.data(), cmd.size()) != static_cast<ssize_t>(cmd.size())) {
            fprintf(stderr, "rfwatch-view: cannot send %s: %s\n", cmd.c_str(), strerror(errno));
            return false;
        }
        fprintf(stderr, "rfwatch-view: sent %s\n", cmd.c_str());
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    ViewOptions o;
    if (parse(argc, argv, o) != 0)
        return 1;
    struct sigaction sa {
    };
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int fd = connect_to(o.socket_path);
    if (fd < 0)
        return 1;
    const double start = now_s();
    if (!send_commands(fd, o)) {
        close(fd);
        return 1;
    }

    // --lines and pipes keep the line-oriented output scripts rely on.
    if (o.mode == 'W' || (o.mode == 0 && !o.lines && !o.stall && isatty(STDOUT_FILENO))) {
        int status = run_fullscreen(fd, o.seconds, o.title, stop);
        close(fd);
        return status;
    }

    static Summary summary;
    LineReader reader;
    double next_print = start + 1.0;
    int status = 0;
    while (!stop) {
        double now = now_s();
        if (o.seconds > 0 && now - start >= o.seconds)
            break;
        if (o.stall) {
            sleep_ms(50);
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0 &&
            !read_lines(fd, reader, [&](std::string_view l) { show(l, o, summary, start); })) {
            fprintf(stderr, "rfwatch-view: the daemon closed the connection\n");
            status = 2;
            break;
        }
        summary.bad_lines += reader.overlong; // dropped for their length
        reader.overlong = 0;
        if (!o.lines && now_s() >= next_print) {
            summary_print(summary, now_s() - start, stdout);
            summary_clear(summary);
            next_print += 1.0;
        }
    }
    close(fd);
    return status;
}
