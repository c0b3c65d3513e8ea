// SPDX-License-Identifier: MIT
#include "options.h"

namespace airtally_exporter
{

namespace
{

enum Key { OPT_RFWATCHD = ACCESS_OPT_END, OPT_AIR_PERIOD };

constexpr CliOption ROWS[] = {
    {"listen", 'l', CliArg::Text, "[ADDR:]PORT",
     "address and port to serve on (default:\n"
     "127.0.0.1:9749; ADDR is an IPv4 address,\n"
     "localhost or [IPv6]; PORT 0 picks a free port)"},
    {"token-file", ACCESS_OPT_TOKEN_FILE, CliArg::Text, "FILE",
     "require \"Authorization: Bearer TOKEN\", TOKEN\n"
     "being FILE's content (Prometheus: authorization\n"
     "with credentials_file FILE); FILE must be\n"
     "private (mode 0600) and hold 128 bits: 32 hex\n"
     "digits or 22 base64 characters"},
    {"rfwatchd", OPT_RFWATCHD, CliArg::Text, "SOCKET[=RADIO]",
     "\nalso serve the air analysis of the rfwatchd at\n"
     "SOCKET as wifidiag_air_* for RADIO (default:\n"
     "SOCKET's file name without extension);\n"
     "repeatable, up to 16"},
    {"air-period-ms", OPT_AIR_PERIOD, CliArg::Whole, "N",
     "the air lines' period asked of each rfwatchd\n"
     "(default 1000)",
     AIR_PERIOD_MIN_MS, AIR_PERIOD_MAX_MS},
};

bool take(void *target, int key, const char *text, double number, std::string &error)
{
    ExporterOptions &o = *static_cast<ExporterOptions *>(target);
    switch (key) {
    case OPT_AIR_PERIOD:
        o.air_period_ms = static_cast<int>(number);
        return true;
    case OPT_RFWATCHD: {
        AirSource source;
        if (!air_source_parse(text, source, error))
            return false;
        // One radio's series from two daemons would be one series twice.
        for (const AirSource &d : o.daemons)
            if (d.radio == source.radio) {
                error = "--rfwatchd: radio " + source.radio + " given twice";
                return false;
            }
        error = "--rfwatchd: at most 16 daemons";
        o.daemons.push_back(std::move(source));
        return o.daemons.size() <= AIR_SOURCES_MAX;
    }
    default:
        return access_option(o.access, key, text, error) == ACCESS_TAKEN;
    }
}

} // namespace

const CliProgram EXPORTER_CLI = {
    "airtally-exporter",
    "libairtally's statistics for Prometheus",
    " [-l [ADDR:]PORT] [--token-file FILE | --no-auth] [--allow-host NAME]...\n"
    "       [--rfwatchd SOCKET[=RADIO]]... [--air-period-ms N]\n"
    "Serves libairtally's radio and interface statistics to Prometheus at\n"
    "http://ADDR:PORT/metrics; each scrape reads nl80211 and asks hostapd and\n"
    "wpa_supplicant (up to 2 s per request to a daemon that does not answer).\n"
    "With --rfwatchd, also the latest air lines of each rfwatchd named.\n"
    "\n",
    {ROWS, ACCESS_OPTIONS, CLI_HELP, CLI_VERSION},
    "On a loopback address no token is needed unless --token-file is given; any\n"
    "other address needs --token-file or --no-auth.\n"
    "Serves GET and HEAD of /metrics and /; at most 8 connections at once, 2 from\n"
    "one address, each with 2 s to send its request.\n"
    "Prints \"listening on ADDR:PORT\" once serving.\n"
    "Exit status: 0 after a signal, 1 when it cannot listen or read the token,\n"
    "2 on bad usage.\n",
    24,
    true,
};

CliResult options_parse(int argc, char **argv, ExporterOptions &o, std::string &message)
{
    const CliResult r = cli_parse(EXPORTER_CLI, argc, argv, take, &o, message);
    if (r == CliResult::Run &&
        (!access_choice_ok(o.access, message) ||
         !access_exposure_ok(o.access, "a bearer token the scraper presents", message)))
        return CliResult::Usage;
    return r;
}

} // namespace airtally_exporter
