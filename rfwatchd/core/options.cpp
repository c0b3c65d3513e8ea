// SPDX-License-Identifier: MIT
#include "core/options.h"

#include "air/air_engine.h"
#include "core/version_info.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

namespace
{

constexpr const char *short_options = "m:i:b:s:S:vh";
// Long-only options take values past any character getopt could return.
constexpr int OPT_AIR_MARGIN = 256;

// "--num-bins" and "--agile-scan" are the long names the parser has always
// accepted (callers' scripts rely on them); the help text's names for -b
// and -S, "--spectral-bins" and "--agile-sweep", are accepted too, so that
// what --help says works.
constexpr option long_options[] = {
    {"monitor", required_argument, nullptr, 'm'},
    {"interfaces", required_argument, nullptr, 'i'},
    {"num-bins", required_argument, nullptr, 'b'},
    {"spectral-bins", required_argument, nullptr, 'b'},
    {"socket", required_argument, nullptr, 's'},
    {"agile-scan", required_argument, nullptr, 'S'},
    {"agile-sweep", required_argument, nullptr, 'S'},
    {"version", no_argument, nullptr, 'v'},
    {"help", no_argument, nullptr, 'h'},
    {"air-margin", required_argument, nullptr, OPT_AIR_MARGIN},
    {nullptr, 0, nullptr, 0},
};

const char *skip_blanks(const char *s)
{
    while (*s == ' ')
        s++;
    return s;
}

// The usual leading-number parse, clamped to 32 bits.
int32_t leading_int(const char *s)
{
    long v = strtol(s, nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Appends every comma-separated name; false when one cannot fit its field
// (cutting it would silently name some other interface).
bool add_primaries(ServerOptions &opts, const char *arg)
{
    const char *p = skip_blanks(arg);
    if (*p == '\0')
        return true;
    for (;;) {
        const char *comma = strchr(p, ',');
        size_t len = comma ? static_cast<size_t>(comma - p) : strlen(p);
        if (len >= INTERFACE_NAME_SIZE)
            return false;
        if (opts.primary_count < MAX_PRIMARY_NAMES) {
            memcpy(opts.primaries[opts.primary_count], p, len);
            opts.primaries[opts.primary_count][len] = '\0';
        }
        if (opts.primary_count < INT32_MAX)
            opts.primary_count++;
        if (!comma)
            return true;
        p = comma + 1;
    }
}

// "all", or a range "start-end"; false for text that is neither (empty,
// blanks only, or without the dash that separates the ends).
bool set_background_range(ServerOptions &opts, const char *arg)
{
    const char *p = skip_blanks(arg);
    if (strcmp(p, "all") == 0) {
        opts.whole_band = 1;
        return true;
    }
    const char *dash = strchr(p, '-');
    if (*p == '\0' || !dash)
        return false;
    opts.background_start = leading_int(p);
    opts.background_end = leading_int(dash + 1);
    return true;
}

// nullptr, or why the -b value is refused.
const char *set_bin_count(ServerOptions &opts, const char *arg)
{
    if (!arg)
        return "Invalid bins argument.";
    int32_t bins = leading_int(arg);
    if (!bin_count_allowed(bins))
        return "Invalid number of bins.";
    opts.bin_count = bins;
    return nullptr;
}

ParseOutcome refuse(FILE *out, const char *prog, const char *message)
{
    fprintf(out, "%s\n", message);
    print_help(out, prog);
    return PARSE_EXIT_FAIL;
}

} // namespace

bool parse_air_margin(const char *text, float &db)
{
    // Digits by hand: strtof would take blanks, signs, exponents and the
    // locale's decimal mark.
    int tenths = 0, digits = 0;
    const char *p = text;
    for (; *p >= '0' && *p <= '9' && digits < 3; p++, digits++)
        tenths = tenths * 10 + (*p - '0');
    if (digits == 0)
        return false;
    tenths *= 10;
    if (*p == '.') {
        if (p[1] < '0' || p[1] > '9')
            return false;
        tenths += p[1] - '0';
        p += 2;
    }
    if (*p != '\0' || tenths < 10 || tenths > 400)
        return false;
    db = static_cast<float>(tenths) / 10.0f;
    return true;
}

bool bin_count_allowed(long value)
{
    if (value == 0)
        return true;
    return value >= 4 && value <= 512 && value % 4 == 0 && (value / 4) % 2 == 0;
}

void print_help(FILE *out, const char *prog)
{
    fprintf(out,
            "Usage: %s [OPTIONS]\n"
            "Spectral data streaming daemon\n"
            "\n"
            "Options:\n"
            "  -m, --monitor        INTERFACE   Monitor interface (required)\n"
            "  -i, --interfaces     INTERFACES  Comma separated wifi interfaces (optional)\n"
            "  -b, --spectral-bins              Override how many bins should be set for "
            "hardware to capture,\n"
            "                                   between 4 and 512. Must be: 2^x * 4 = bins "
            "(default: 0 <auto>)\n"
            "  -s  --socket                     Path of the socket file to create (default: "
            "rfwatchd.sock)\n"
            "  -S  --agile-sweep                Activate agile sweep for given frequency "
            "range, format\n"
            "                                   must be a range of MHz, eg. 5200-5300 "
            "(default: off)\n"
            "      --air-margin     DB          Busy threshold of the air lines above the "
            "noise floor,\n"
            "                                   1 to 40 dB, one decimal at most (default: 10)\n"
            "  -v, --version                    Show version information\n"
            "  -h, --help                       Show this help message\n"
            "\n"
            "Examples:\n"
            "  %s -m wlan0.mon -b 64\n"
            "  %s --monitor wlan1.mon --interfaces wlan1.sta,wlan1.ap\n",
            prog, prog, prog);
}

void print_version(FILE *out, const char *prog)
{
    fprintf(out,
            "%s version %s\n"
            "Git commit: %s%s\n"
            "Build date: %s\n"
            "\n"
            "Spectral data streaming daemon for WiFi spectrum analysis\n",
            prog, rfwatchd_version, rfwatchd_commit, rfwatchd_commit_suffix, rfwatchd_build_date);
}

ParseOutcome parse_command_line(int argc, char **argv, ServerOptions &opts, FILE *out, FILE *err)
{
    memset(&opts, 0, sizeof opts);
    opts.listen_fd = -1;
    opts.socket_path = "rfwatchd.sock";
    opts.air_margin_db = AIR_DEFAULT_MARGIN_DB;
    const char *prog = argc > 0 && argv[0] ? argv[0] : "rfwatchd";

    optind = 0; // full reset, so the parser can run more than once per process
    int c;
    while ((c = getopt_long(argc, argv, short_options, long_options, nullptr)) != -1) {
        switch (c) {
        case 'm':
            opts.monitor = optarg;
            break;
        case 'i':
            if (!optarg || !add_primaries(opts, optarg))
                return refuse(out, prog, "Invalid interfaces argument.");
            break;
        case 'b':
            if (const char *why = set_bin_count(opts, optarg))
                return refuse(out, prog, why);
            break;
        case 's':
            if (!optarg)
                return refuse(out, prog, "Invalid socket argument.");
            opts.socket_path = optarg;
            break;
        case 'S':
            if (!optarg || !set_background_range(opts, optarg))
                return refuse(out, prog, "Invalid agile-scan argument.");
            break;
        case OPT_AIR_MARGIN:
            if (!optarg || !parse_air_margin(optarg, opts.air_margin_db))
                return refuse(out, prog, "Invalid air-margin argument.");
            break;
        case 'v':
            print_version(out, prog);
            return PARSE_EXIT_OK;
        case 'h':
            print_help(out, prog);
            return PARSE_EXIT_OK;
        default: // getopt has printed its own message
            print_help(out, prog);
            return PARSE_EXIT_FAIL;
        }
    }
    if (!opts.monitor) {
        // The monitor is given with -m; the message names that option.
        fprintf(err, "Error: Monitor interface (-m) is required\n");
        print_help(out, prog);
        return PARSE_EXIT_FAIL;
    }
    return PARSE_RUN;
}
