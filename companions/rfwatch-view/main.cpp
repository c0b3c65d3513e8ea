// rfwatch-view: a small client of rfwatchd. Connects to its socket, can send
// the three commands, and shows the stream full-screen (spectrum and
// waterfall), as a per-frequency summary once a second, or one line per
// message. Ends on Ctrl-C (or q) or after -t seconds.
#include "command.h"
#include "fullscreen.h"
#include "summary.h"
#include "view_link.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <getopt.h>
#include <poll.h>
#include <string>
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
    int mode = 0;            // 0: full screen when stdout is a terminal; else one of the below
    long command_gap_ms = 0; // accepted and checked for older scripts; unused
    std::string title;       // under the full-screen view
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
            "  -g, --gap MS             ignored, kept for older scripts (the daemon takes\n"
            "                           several commands per read)\n"
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

struct Shown {
    const ViewOptions &o;
    Summary &s;
    double start;
};

void show(void *context, std::string_view text)
{
    const auto &[o, s, start] = *static_cast<Shown *>(context);
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

    static ViewLink link;
    if (!view_link_open(link, o.socket_path, o.commands, !o.stall))
        return 1;
    const double start = now_s();

    // --lines and pipes keep the line-oriented output scripts rely on.
    if (o.mode == 'W' || (o.mode == 0 && !o.lines && !o.stall && isatty(STDOUT_FILENO)))
        return run_fullscreen(link, o.seconds, o.title, stop);

    static Summary summary;
    Shown shown{o, summary, start};
    link.line = show;
    link.line_context = &shown;
    uint64_t overlongs_seen = 0;
    double next_print = start + 1.0;
    while (!stop) {
        if (o.seconds > 0 && now_s() - start >= o.seconds)
            break;
        pollfd p = view_link_poll(link);
        if (poll(&p, 1, 100) < 0)
            p.revents = 0;
        if (!view_link_handle(link, p.revents)) {
            if (link.status == 2)
                fprintf(stderr, "rfwatch-view: the daemon closed the connection\n");
            break;
        }
        // Lines dropped for their length.
        summary.bad_lines += static_cast<long>(link.daemon.lines_in.overlongs - overlongs_seen);
        overlongs_seen = link.daemon.lines_in.overlongs;
        if (!o.lines && now_s() >= next_print) {
            summary_print(summary, now_s() - start, stdout);
            summary_clear(summary);
            next_print += 1.0;
        }
    }
    link_close(link.daemon);
    return link.status;
}
