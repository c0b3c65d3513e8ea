// SPDX-License-Identifier: MIT
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

enum Long {
    OPT_READ_ONLY = ACCESS_OPT_END,
    OPT_MQTT,
    OPT_PREFIX,
    OPT_PASSWORD_FILE,
    OPT_CAFILE,
    OPT_BROWSER_TIMEOUT
};

constexpr CliOption FLEET_ROWS[] = {
    {"mqtt", OPT_MQTT, CliArg::Text, "URL",
     "instead, every radio that rfwatch-mqtt publishes to\n"
     "this broker (mqtt://[user@]host[:port] or mqtts://);\n"
     "the page chooses the radio"},
    {"prefix", OPT_PREFIX, CliArg::Text, "P", "the fleet's topic prefix (default: wifidiag)"},
    {"password-file", OPT_PASSWORD_FILE, CliArg::Text, "F",
     "the broker password: the first line of F"},
    {"cafile", OPT_CAFILE, CliArg::Text, "F",
     "the CA that signed the broker's certificate (mqtts;\n"
     "default: the system's)"},
    {"listen", 'l', CliArg::Text, "[ADDR:]PORT",
     "address and port to serve on (default:\n"
     "127.0.0.1:8080; ADDR is an IPv4 address or\n"
     "[IPv6]; PORT 0 picks a free port)"},
    {"token-file", ACCESS_OPT_TOKEN_FILE, CliArg::Text, "FILE",
     "require the access token kept in FILE (created\n"
     "with a random token, mode 0600, if missing); open\n"
     "the page once as http://ADDR:PORT/?token=TOKEN,\n"
     "a cookie carries it after that; FILE must be\n"
     "private (mode 0600) and hold 128 bits: 32 hex\n"
     "digits or 22 base64 characters"},
};

// lws pings after half of --browser-timeout.
constexpr CliOption PAGE_ROWS[] = {
    {"read-only", OPT_READ_ONLY, CliArg::None, nullptr, "refuse every command from the pages"},
    {"browser-timeout", OPT_BROWSER_TIMEOUT, CliArg::Whole, "SECS",
     "drop a browser that has not answered a ping\n"
     "for SECS seconds (default 60; 2 to 3600)",
     2, 3600, " seconds"},
};

const CliProgram WEB_CLI = {
    "rfwatch-web",
    "serve rfwatchd's live spectrum to browsers",
    " [-s SOCKET | --mqtt URL [--prefix P] [--password-file F]\n"
    "       [--cafile F]] [-l [ADDR:]PORT] [--token-file FILE | --no-auth] [--read-only]\n"
    "       [--allow-host NAME[:PORT]]... [--browser-timeout SECS]\n"
    "Serves rfwatchd's live spectrum to browsers: open http://ADDR:PORT/.\n"
    "\n",
    {CLI_RFWATCHD_SOCKET, FLEET_ROWS, ACCESS_OPTIONS, PAGE_ROWS, CLI_HELP, CLI_VERSION},
    "On a loopback address no token is needed unless --token-file is given; any\n"
    "other address needs --token-file or --no-auth.\n"
    "At most 16 browsers at once. Prints \"listening on ADDR:PORT\" once serving.\n"
    "Exit status: 0 after a signal, 1 when it cannot listen or read the token,\n"
    "2 on bad usage.\n",
    24,
    true,
};

// What is taken before the fleet options can be checked together.
struct Taken {
    WebOptions &o;
    std::string url, password_file;
    bool socket_given;
};

bool take(void *target, int key, const char *text, double number, std::string &error)
{
    Taken &t = *static_cast<Taken *>(target);
    if (const AccessTake a = access_option(t.o.access, key, text, error); a != ACCESS_OTHER)
        return a == ACCESS_TAKEN;
    switch (key) {
    case 's':
        t.o.socket_path = text;
        t.socket_given = true;
        break;
    case OPT_MQTT:
        t.url = text;
        break;
    case OPT_PREFIX:
        t.o.fleet_options.prefix = text;
        break;
    case OPT_PASSWORD_FILE:
        t.password_file = text;
        break;
    case OPT_CAFILE:
        t.o.fleet_options.cafile = text;
        break;
    case OPT_READ_ONLY:
        t.o.read_only = true;
        break;
    default: // OPT_BROWSER_TIMEOUT
        t.o.browser_timeout_s = static_cast<int>(number);
        break;
    }
    return true;
}

// The fleet options, checked after all are read: 0, or the exit status with
// error set.
int check_fleet(const Taken &t, WebOptions &o, std::string &error)
{
    if (t.url.empty()) {
        if (t.password_file.empty() && o.fleet_options.cafile.empty() &&
            o.fleet_options.prefix == "wifidiag")
            return 0;
        error = "--prefix, --password-file and --cafile go with --mqtt";
        return EXIT_USAGE;
    }
    if (t.socket_given) {
        error = "--socket and --mqtt exclude each other";
        return EXIT_USAGE;
    }
    if (!parse_broker_url(t.url, o.fleet_options.broker, error)) {
        error = "--mqtt: " + error;
        return EXIT_USAGE;
    }
    if (!fleet_prefix_ok(o.fleet_options.prefix)) {
        error = std::string("--prefix must be ") + FLEET_PREFIX_RULE;
        return EXIT_USAGE;
    }
    if (!t.password_file.empty() && !read_secret_file(t.password_file.c_str(), SecretAccess::Shared,
                                                      o.fleet_options.password, error))
        return 1;
    o.fleet = true;
    return 0;
}

// 0: go on; -1: the usage was asked for; otherwise the exit status.
int parse(int argc, char **argv, WebOptions &o)
{
    Taken t{o, {}, {}, false};
    std::string message;
    CliResult r = cli_parse(WEB_CLI, argc, argv, take, &t, message);
    // A fleet mistake is reported before the exposure, so the two access
    // checks stand apart.
    int status = 0;
    if (r == CliResult::Run &&
        (!access_choice_ok(o.access, message) || (status = check_fleet(t, o, message)) != 0 ||
         !access_exposure_ok(o.access, "a random token is created in it if missing", message)))
        r = CliResult::Usage;
    if (status == 1) {
        fprintf(stderr, "%s: %s\n", argv[0], message.c_str());
        return 1;
    }
    status = cli_finish(WEB_CLI, r, argv[0], message, EXIT_USAGE);
    return status == 0 ? -1 : status < 0 ? 0 : status;
}

} // namespace

int main(int argc, char **argv)
{
    // Before the fleet's connecting thread exists, so it never takes them.
    stop_signals_block();
    auto server = std::make_unique<WebServer>();
    if (const int status = parse(argc, argv, server->options); status != 0)
        return status < 0 ? 0 : status;
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
