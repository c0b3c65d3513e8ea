// SPDX-License-Identifier: MIT
// rfwatch-view: a small client of rfwatchd. Connects to its socket, can send
// the three commands, and shows the stream full-screen (spectrum and
// waterfall), as a per-frequency summary once a second, or one line per
// message. Ends on Ctrl-C (or q) or after -t seconds.
#include "air_status.h"
#include "cli.h"
#include "command.h"
#include "fullscreen.h"
#include "summary.h"
#include "terminal.h"
#include "view_link.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
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
    int mode = 0; // 0: full screen when stdout is a terminal; else --waterfall's or --summary's key
    std::string title;        // under the full-screen view
    int air_period_ms = 1000; // 0: air lines not asked for
    bool air_given = false;   // --air-period given: --lines and --stall ask only then
};

enum Key { OPT_STALL = 256, OPT_WATERFALL, OPT_SUMMARY, OPT_TITLE, OPT_AIR };

constexpr CliOption ROWS[] = {
    {"time", 't', CliArg::Decimal, "SECONDS", "stop after this long (default: at Ctrl-C)", 0, 1e9,
     " seconds"},
    {"aggregation", 'a', CliArg::Text, "MS", "ask for one batch every MS milliseconds"},
    {"sweep", 'w', CliArg::Text, "FROM-TO[,DURATION[,DWELL]]",
     "\nstart an active sweep (MHz; seconds, 0 = no end; ms)"},
    {"cancel", 'c', CliArg::None, nullptr, "cancel the running sweep"},
    {"lines", 'l', CliArg::None, nullptr,
     "one line per message: ms since start, detector,\n"
     "frequency, width, samples, bins, peak, mean\n"
     "(null bins count as bins, not in peak and mean)"},
    {"waterfall", OPT_WATERFALL, CliArg::None, nullptr,
     "the full-screen view (the default on a terminal)"},
    {"summary", OPT_SUMMARY, CliArg::None, nullptr,
     "the once-a-second summary, also on a terminal"},
    {"title", OPT_TITLE, CliArg::Text, "TEXT", "a line kept under the full-screen view"},
    {"air-period", OPT_AIR, CliArg::Text, "MS",
     "ask for air lines every MS ms (100 to 60000; 0: do not;\n"
     "default 1000, with --lines or --stall 0) and show\n"
     "the channels' use and quality and the strongest signal"},
    {"stall", OPT_STALL, CliArg::None, nullptr, "connect (and send the commands) but never read"},
    {"gap", 'g', CliArg::Whole, "MS",
     "ignored, kept for older scripts (the daemon takes\n"
     "several commands per read)",
     0, 60000, " ms"},
};

const CliProgram VIEW_CLI = {
    "rfwatch-view",
    "show rfwatchd's live spectrum on a terminal",
    " [OPTIONS]\n"
    "Shows rfwatchd's live spectrum. On a terminal, full screen: the spectrum with\n"
    "max-hold, a waterfall, the frequency axis, the dBm scale and the peak (keys:\n"
    "q quits, p pauses, m resets max-hold, d switches detector, + and - move the\n"
    "dB range). Otherwise per frequency, once a second, the width, the samples\n"
    "aggregated, and the peak and mean power of the bins.\n"
    "\n",
    {CLI_RFWATCHD_SOCKET, ROWS, CLI_HELP, CLI_VERSION},
    "Commands are sent in the order given, after connecting.\n",
    24,
    true,
};

// -a and --sweep: the command checked against rfwatchd-stream's limits.
bool take_command(const char *option, CommandKind kind, const char *text, ViewOptions &o,
                  std::string &error)
{
    DaemonCommand cmd{};
    const CommandCheck check = command_from_option(kind, text, cmd);
    if (check.error != CommandError::Ok) {
        error =
            std::string(option) + " " + text + ": " + command_error_text(check, CommandKeys::Page);
        return false;
    }
    o.commands.push_back(encode_command(cmd));
    return true;
}

bool take(void *target, int key, const char *text, double number, std::string &error)
{
    ViewOptions &o = *static_cast<ViewOptions *>(target);
    switch (key) {
    case 's':
        o.socket_path = text;
        break;
    case 't':
        o.seconds = number;
        break;
    case 'a':
        return take_command("--aggregation", CommandKind::SetAggregation, text, o, error);
    case 'w':
        return take_command("--sweep", CommandKind::StartSweep, text, o, error);
    case 'c':
        o.commands.push_back(encode_command({.kind = CommandKind::CancelSweep}));
        break;
    case 'l':
        o.lines = true;
        break;
    case OPT_STALL:
        o.stall = true;
        break;
    case OPT_TITLE:
        o.title = text;
        break;
    case OPT_AIR: {
        DaemonCommand cmd{};
        const CommandCheck check = command_from_option(CommandKind::Air, text, cmd);
        if (check.error != CommandError::Ok) {
            error = std::string("--air-period ") + text + ": " +
                    command_error_text(check, CommandKeys::Page);
            return false;
        }
        o.air_period_ms = cmd.air_period_ms;
        o.air_given = true;
        break;
    }
    case 'g': // checked, then ignored
        break;
    default: // OPT_WATERFALL, OPT_SUMMARY
        o.mode = key;
        break;
    }
    return true;
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
    AirStatus &air;
    double start;
};

// An air line is not a spectrum line, and no error: it goes to the air
// status (with --lines: ms, "air", frequency, width, worst quality).
bool show_air(const Shown &shown, std::string_view text)
{
    static AirLine line; // large
    if (!parse_air_line(text, line))
        return false;
    air_status_add(shown.air, line, now_s());
    if (shown.o.lines)
        printf("%ld air %d %d %d\n", static_cast<long>((now_s() - shown.start) * 1000),
               line.freq_mhz, line.bandwidth_mhz, air_line_worst_quality(line));
    return true;
}

// After the command line's own; a daemon that does not know the command
// ignores it. --lines and --stall (scripts) keep their traffic as it was.
void ask_for_air(ViewOptions &o)
{
    if ((o.lines || o.stall) && !o.air_given)
        o.air_period_ms = 0;
    if (o.air_period_ms > 0)
        o.commands.push_back(
            encode_command({.kind = CommandKind::Air, .air_period_ms = o.air_period_ms}));
}

// Under the summary's block, as wide as the terminal (80 on a pipe).
void print_air(const AirStatus &air)
{
    int cols = 80, rows = 0;
    terminal_size(STDOUT_FILENO, cols, rows);
    printf("  %s\n", air_status_text(air, now_s(), cols - 2, " \u00b7 ").c_str());
}

void show(void *context, std::string_view text)
{
    const Shown &shown = *static_cast<Shown *>(context);
    const auto &[o, s, air, start] = shown;
    if (is_air_line(text) && show_air(shown, text))
        return;
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
    std::string error;
    const CliResult parsed = cli_parse(VIEW_CLI, argc, argv, take, &o, error);
    if (const int status = cli_finish(VIEW_CLI, parsed, argv[0], error, 1); status >= 0)
        return status;
    struct sigaction sa {
    };
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    ask_for_air(o);
    static ViewLink link;
    if (!view_link_open(link, o.socket_path, o.commands, !o.stall))
        return 1;
    const double start = now_s();

    // --lines and pipes keep the line-oriented output scripts rely on.
    if (o.mode == OPT_WATERFALL || (o.mode == 0 && !o.lines && !o.stall && isatty(STDOUT_FILENO)))
        return run_fullscreen(link, o.seconds, o.title, o.air_period_ms > 0, stop);

    static Summary summary;
    static AirStatus air;
    Shown shown{o, summary, air, start};
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
            if (o.air_period_ms > 0)
                print_air(air);
            next_print += 1.0;
        }
    }
    link_close(link.daemon);
    return link.status;
}
