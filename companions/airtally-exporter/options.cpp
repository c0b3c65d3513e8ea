#include "options.h"

#include "access_options.h"

#include <cstdlib>
#include <getopt.h>

namespace airtally_exporter
{

namespace
{

// After the options: the combinations that are refused.
int check_combination(const char *prog, const ExporterOptions &o, std::string &message)
{
    if (!access_choice_ok(o.access, prog, message) ||
        !access_exposure_ok(o.access, prog, "a bearer token the scraper presents", message))
        return EXIT_USAGE;
    return 0;
}

} // namespace

int options_parse(int argc, char **argv, ExporterOptions &o, std::string &message)
{
    static const option longs[] = {
        {"listen", required_argument, nullptr, 'l'},
        {"token-file", required_argument, nullptr, ACCESS_OPT_TOKEN_FILE},
        {"no-auth", no_argument, nullptr, ACCESS_OPT_NO_AUTH},
        {"allow-host", required_argument, nullptr, ACCESS_OPT_ALLOW_HOST},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0; // a fresh scan each call (the tests parse many command lines)
    opterr = 0; // the message below says it once
    int c;
    while ((c = getopt_long(argc, argv, ":l:h", longs, nullptr)) != -1) {
        const AccessTake taken = access_option(o.access, c, optarg, argv[0], message);
        if (taken == ACCESS_REFUSED)
            return EXIT_USAGE;
        if (taken == ACCESS_TAKEN)
            continue;
        switch (c) {
        case 'h':
            o.help = true;
            return 0;
        default:
            message = std::string(argv[0]) + ": bad option " +
                      (optind > 0 && optind <= argc ? argv[optind - 1] : "") + "\n" +
                      usage_text(argv[0]);
            return EXIT_USAGE;
        }
    }
    if (optind < argc) {
        message = std::string(argv[0]) + ": unexpected argument " + argv[optind];
        return EXIT_USAGE;
    }
    return check_combination(argv[0], o, message);
}

std::string usage_text(const char *prog)
{
    return std::string("Usage: ") + prog +
           " [-l [ADDR:]PORT] [--token-file FILE | --no-auth] [--allow-host NAME]...\n"
           "Serves libairtally's radio and interface statistics to Prometheus at\n"
           "http://ADDR:PORT/metrics; each scrape reads nl80211 and asks hostapd and\n"
           "wpa_supplicant (up to 2 s per request to a daemon that does not answer).\n"
           "\n"
           "  -l, --listen [ADDR:]PORT address and port to serve on (default:\n"
           "                           127.0.0.1:9749; ADDR is an IPv4 address,\n"
           "                           localhost or [IPv6]; PORT 0 picks a free port)\n"
           "      --token-file FILE    require \"Authorization: Bearer TOKEN\", TOKEN\n"
           "                           being FILE's content (Prometheus: authorization\n"
           "                           with credentials_file FILE); FILE must be\n"
           "                           private (mode 0600) and hold 128 bits: 32 hex\n"
           "                           digits or 22 base64 characters\n"
           "      --no-auth            serve beyond loopback without a token\n"
           "      --allow-host NAME[:PORT]  answer requests for NAME too (repeatable); by\n"
           "                           default only the listen address and localhost,\n"
           "                           with the port listened on, are answered\n"
           "  -h, --help               this text\n"
           "On a loopback address no token is needed unless --token-file is given; any\n"
           "other address needs --token-file or --no-auth.\n"
           "Serves GET and HEAD of /metrics and /; at most 8 connections at once, 2 from\n"
           "one address, each with 2 s to send its request.\n"
           "Prints \"listening on ADDR:PORT\" once serving.\n"
           "Exit status: 0 after a signal, 1 when it cannot listen or read the token,\n"
           "2 on bad usage.\n";
}

} // namespace airtally_exporter
