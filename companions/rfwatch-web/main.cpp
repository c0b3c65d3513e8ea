// rfwatch-web: serves rfwatchd's live spectrum to browsers. One thread, one
// libwebsockets loop: the page over HTTP, frames over WebSocket, and one
// connection to rfwatchd's socket shared by every browser.
#include "access_options.h"
#include "access_token.h"
#include "broker_url.h"
#include "fleet_contract.h"
#include "listen_address.h"
#include "run_loop.h"
#include "secret_file.h"
#include "server.h"

#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <memory>
#include <string>

namespace
{

constexpr int EXIT_USAGE = 2;

void usage(FILE *out, const char *prog)
{
    fprintf(out,
            "Usage: %s [-s SOCKET | --mqtt URL [--prefix P] [--password-file F]\n"
            "       [--cafile F]] [-l [ADDR:]PORT] [--token-file FILE | --no-auth] [--read-only]\n"
            "       [--allow-host NAME[:PORT]]... [--browser-timeout SECS]\n"
            "Serves rfwatchd's live spectrum to browsers: open http://ADDR:PORT/.\n"
            "\n"
            "  -s, --socket PATH        rfwatchd's socket (default: rfwatchd.sock)\n"
            "      --mqtt URL           instead, every radio that rfwatch-mqtt publishes to\n"
            "                           this broker (mqtt://[user@]host[:port] or mqtts://);\n"
            "                           the page chooses the radio\n"
            "      --prefix P           the fleet's topic prefix (default: wifidiag)\n"
            "      --password-file F    the broker password: the first line of F\n"
            "      --cafile F           the CA that signed the broker's certificate (mqtts;\n"
            "                           default: the system's)\n"
            "  -l, --listen [ADDR:]PORT address and port to serve on (default:\n"
            "                           127.0.0.1:8080; ADDR is an IPv4 address or\n"
            "                           [IPv6]; PORT 0 picks a free port)\n"
            "      --token-file FILE    require the access token kept in FILE (created\n"
            "                           with a random token, mode 0600, if missing); open\n"
            "                           the page once as http://ADDR:PORT/?token=TOKEN,\n"
            "                           a cookie carries it after that; FILE must be\n"
            "                           private (mode 0600) and hold 128 bits: 32 hex\n"
            "                           digits or 22 base64 characters\n"
            "      --no-auth            serve beyond loopback without a token\n"
            "      --allow-host NAME[:PORT]  answer requests for NAME too (repeatable); by\n"
            "                           default only the listen address and localhost,\n"
            "                           with the port listened on, are answered\n"
            "      --read-only          refuse every command from the pages\n"
            "      --browser-timeout SECS  drop a browser that has not answered a ping\n"
            "                           for SECS seconds (default 60; 2 to 3600)\n"
            "  -h, --help               this text\n"
            "On a loopback address no token is needed unless --token-file is given; any\n"
            "other address needs --token-file or --no-auth.\n"
            "At most 16 browsers at once. Prints \"listening on ADDR:PORT\" once serving.\n"
            "Exit status: 0 after a signal, 1 when it cannot listen or read the token,\n"
            "2 on bad usage.\n",
            prog);
}

enum Long {
    OPT_READ_ONLY = ACCESS_OPT_END,
    OPT_MQTT,
    OPT_PREFIX,
    OPT_PASSWORD_FILE,
    OPT_CAFILE,
    OPT_BROWSER_TIMEOUT
};

// --browser-timeout: whole seconds; lws pings after half of it.
bool parse_browser_timeout(const char *arg, int &secs)
{
    char *end = nullptr;
    const long v = strtol(arg, &end, 10);
    if (end == arg || *end != '\0' || v < 2 || v > 3600)
        return false;
    secs = static_cast<int>(v);
    return true;
}

// The fleet options, checked after all are read; 0 or the exit status.
int check_fleet(const char *prog, const std::string &url, const std::string &password_file,
                bool socket_given, WebOptions &o)
{
    if (url.empty()) {
        if (!password_file.empty() || !o.fleet_options.cafile.empty() ||
            o.fleet_options.prefix != "wifidiag") {
            fprintf(stderr, "%s: --prefix, --password-file and --cafile go with --mqtt\n", prog);
            return EXIT_USAGE;
        }
        return 0;
    }
    std::string error;
    if (socket_given) {
        fprintf(stderr, "%s: --socket and --mqtt exclude each other\n", prog);
        return EXIT_USAGE;
    }
    if (!parse_broker_url(url, o.fleet_options.broker, error)) {
        fprintf(stderr, "%s: --mqtt: %s\n", prog, error.c_str());
        return EXIT_USAGE;
    }
    if (!fleet_prefix_ok(o.fleet_options.prefix)) {
        fprintf(stderr, "%s: --prefix must be %s\n", prog, FLEET_PREFIX_RULE);
        return EXIT_USAGE;
    }
    if (!password_file.empty() && !read_secret_file(password_file.c_str(), SecretAccess::Shared,
                                                    o.fleet_options.password, error)) {
        fprintf(stderr, "%s: %s\n", prog, error.c_str());
        return 1;
    }
    o.fleet = true;
    return 0;
}

// 0: go on; otherwise the exit status.
int parse(int argc, char **argv, WebOptions &o)
{
    static const option longs[] = {
        {"socket", required_argument, nullptr, 's'},
        {"listen", required_argument, nullptr, 'l'},
        {"token-file", required_argument, nullptr, ACCESS_OPT_TOKEN_FILE},
        {"no-auth", no_argument, nullptr, ACCESS_OPT_NO_AUTH},
        {"allow-host", required_argument, nullptr, ACCESS_OPT_ALLOW_HOST},
        {"read-only", no_argument, nullptr, OPT_READ_ONLY},
        {"browser-timeout", required_argument, nullptr, OPT_BROWSER_TIMEOUT},
        {"mqtt", required_argument, nullptr, OPT_MQTT},
        {"prefix", required_argument, nullptr, OPT_PREFIX},
        {"password-file", required_argument, nullptr, OPT_PASSWORD_FILE},
        {"cafile", required_argument, nullptr, OPT_CAFILE},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    int c;
    std::string url, password_file;
    bool socket_given = false;
    std::string message;
    while ((c = getopt_long(argc, argv, "s:l:h", longs, nullptr)) != -1) {
        const AccessTake taken = access_option(o.access, c, optarg, argv[0], message);
        if (taken == ACCESS_REFUSED) {
            fprintf(stderr, "%s\n", message.c_str());
            return EXIT_USAGE;
        }
        if (taken == ACCESS_TAKEN)
            continue;
        switch (c) {
        case 's':
            o.socket_path = optarg;
            socket_given = true;
            break;
        case OPT_MQTT:
            url = optarg;
            break;
        case OPT_PREFIX:
            o.fleet_options.prefix = optarg;
            break;
        case OPT_PASSWORD_FILE:
            password_file = optarg;
            break;
        case OPT_CAFILE:
            o.fleet_options.cafile = optarg;
            break;
        case OPT_READ_ONLY:
            o.read_only = true;
            break;
        case OPT_BROWSER_TIMEOUT:
            if (!parse_browser_timeout(optarg, o.browser_timeout_s)) {
                fprintf(stderr, "%s: --browser-timeout takes 2 to 3600 seconds, not %s\n", argv[0],
                        optarg);
                return EXIT_USAGE;
            }
            break;
        case 'h':
            usage(stdout, argv[0]);
            exit(0);
        default:
            usage(stderr, argv[0]);
            return EXIT_USAGE;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "%s: unexpected argument %s\n", argv[0], argv[optind]);
        return EXIT_USAGE;
    }
    if (!access_choice_ok(o.access, argv[0], message)) {
        fprintf(stderr, "%s\n", message.c_str());
        return EXIT_USAGE;
    }
    // A fleet mistake is reported before the exposure, so the two access
    // checks stand apart.
    if (const int status = check_fleet(argv[0], url, password_file, socket_given, o); status != 0)
        return status;
    if (!access_exposure_ok(o.access, argv[0], "a random token is created in it if missing",
                            message)) {
        fprintf(stderr, "%s\n", message.c_str());
        return EXIT_USAGE;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Before the fleet's connecting thread exists, so it never takes them.
    stop_signals_block();
    auto server = std::make_unique<WebServer>();
    if (const int status = parse(argc, argv, server->options); status != 0)
        return status;
    if (!server->options.access.token_file.empty()) {
        std::string error;
        if (!token_file_load(server->options.access.token_file.c_str(), TokenCharset::UrlSafe, true,
                             server->token, error)) {
            fprintf(stderr, "rfwatch-web: %s\n", error.c_str());
            return 1;
        }
    }
    http_gate_log_setup();
    std::string error;
    if (!server_start(*server, error)) {
        fprintf(stderr, "rfwatch-web: %s\n", error.c_str());
        return 1;
    }
    const bool served = run_until_signalled(
        server->context,
        listening_line("rfwatch-web", server->options.access.address, server_port(*server),
                       server->token.empty() ? "" : " (token required; it is in the token file)"));
    server_stop(*server);
    return served ? 0 : 1;
}
