// SPDX-License-Identifier: MIT
#include "options.h"

#include <unistd.h>

namespace
{

enum Key {
    OPT_NODE = 256,
    OPT_RADIO,
    OPT_PREFIX,
    OPT_PERIOD,
    OPT_FORMAT,
    OPT_QOS,
    OPT_COMMANDS,
    OPT_PASSWORD_FILE,
    OPT_CAFILE,
    OPT_CERT,
    OPT_KEY,
    OPT_CLIENT_ID,
    OPT_MAX_QUEUE,
    OPT_AIR_PERIOD
};

constexpr CliOption ROWS[] = {
    {"socket", 's', CliArg::Text, "SOCKET", "rfwatchd's socket (required)"},
    {"broker", 'b', CliArg::Text, "URL", "mqtt://[user@]host[:port] or mqtts://... (required)"},
    {"node", OPT_NODE, CliArg::Text, "NAME",
     "this access point in the topics (default: the host name)"},
    {"radio", OPT_RADIO, CliArg::Text, "NAME",
     "the radio in the topics (default: SOCKET's name, no extension)"},
    {"prefix", OPT_PREFIX, CliArg::Text, "P", "first topic levels (default: wifidiag)"},
    {"period-ms", OPT_PERIOD, CliArg::Whole, "N",
     "ask rfwatchd for one line per N ms after each connection", 1, PERIOD_MAX_MS},
    {"air-period-ms", OPT_AIR_PERIOD, CliArg::Whole, "N",
     "ask rfwatchd for air lines every N ms (100..60000;\n"
     "default 1000; 0: do not ask)",
     0, PERIOD_MAX_MS},
    {"format", OPT_FORMAT, CliArg::Text, "FMT",
     "json (the line as rfwatchd wrote it, default) or compact"},
    {"qos", OPT_QOS, CliArg::Whole, "Q", "0 (default) or 1 for the spectra", 0, 1},
    {"commands", OPT_COMMANDS, CliArg::None, nullptr,
     "pass commands published on P/NODE/RADIO/command to rfwatchd"},
    {"password-file", OPT_PASSWORD_FILE, CliArg::Text, "F", "the broker password, first line of F"},
    {"cafile", OPT_CAFILE, CliArg::Text, "F", "CA certificates for mqtts (default: the system's)"},
    {"cert", OPT_CERT, CliArg::Text, "F", "client certificate for mqtts (with --key)"},
    {"key", OPT_KEY, CliArg::Text, "F", "client key for mqtts (with --cert)"},
    {"client-id", OPT_CLIENT_ID, CliArg::Text, "ID",
     "MQTT client id (default: rfwatch-mqtt-NODE-RADIO)"},
    {"max-queue", OPT_MAX_QUEUE, CliArg::Whole, "N",
     "messages kept while the broker is slow or gone (default 1000)", 1, MAX_QUEUE_LIMIT},
};

// The fleet page lists only names that keep the fleet's rule: a radio
// published under another would never be seen.
bool take_name(std::string &field, const char *what, const char *text, bool ok, const char *rule,
               std::string &error)
{
    field = text;
    if (!ok)
        error = std::string(what) + " must be " + rule;
    return ok;
}

bool take(void *target, int key, const char *text, double number, std::string &error)
{
    MqttOptions &o = *static_cast<MqttOptions *>(target);
    switch (key) {
    case 's':
        o.socket_path = text;
        return true;
    case 'b':
        o.url_text = text;
        return parse_broker_url(text, o.broker, error);
    case OPT_NODE:
        return take_name(o.node, "--node", text, fleet_name_ok(text), FLEET_NAME_RULE, error);
    case OPT_RADIO:
        return take_name(o.radio, "--radio", text, fleet_name_ok(text), FLEET_NAME_RULE, error);
    case OPT_PREFIX:
        return take_name(o.prefix, "--prefix", text, fleet_prefix_ok(text), FLEET_PREFIX_RULE,
                         error);
    case OPT_PERIOD:
        o.period_ms = static_cast<int>(number);
        return true;
    case OPT_FORMAT:
        o.format = std::string_view(text) == "json" ? PayloadFormat::Json : PayloadFormat::Compact;
        error = "--format takes json or compact";
        return std::string_view(text) == "json" || std::string_view(text) == "compact";
    case OPT_AIR_PERIOD:
        o.air_period_ms = static_cast<int>(number);
        error = "--air-period-ms takes 0 (off) or 100 to 60000";
        return o.air_period_ms == 0 || o.air_period_ms >= AIR_PERIOD_MIN_MS;
    case OPT_QOS:
        o.qos = static_cast<int>(number);
        return true;
    case OPT_COMMANDS:
        o.commands = true;
        return true;
    case OPT_PASSWORD_FILE:
        o.password_file = text;
        return true;
    case OPT_CAFILE:
        o.cafile = text;
        return true;
    case OPT_CERT:
        o.cert = text;
        return true;
    case OPT_KEY:
        o.key = text;
        return true;
    case OPT_CLIENT_ID:
        o.client_id = text;
        error = "--client-id must be 1 to 256 characters";
        return !o.client_id.empty() && o.client_id.size() <= 256;
    default: // OPT_MAX_QUEUE
        o.max_queue = static_cast<size_t>(number);
        return true;
    }
}

void apply_defaults(MqttOptions &o)
{
    if (o.node.empty()) {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0)
            o.node = host;
        // A host name with a dot keeps its first label: dots are legal in
        // topics, but "ap1" is what people subscribe to.
        if (const size_t dot = o.node.find('.'); dot != std::string::npos && dot > 0)
            o.node.resize(dot);
        if (!fleet_name_ok(o.node))
            o.node = "localhost";
    }
    if (o.radio.empty())
        o.radio = radio_from_socket(o.socket_path);
    if (o.client_id.empty())
        o.client_id = "rfwatch-mqtt-" + o.node + "-" + o.radio;
}

// What the options mean together.
bool check_combination(const MqttOptions &o, std::string &error)
{
    const char *problem = nullptr;
    if (o.socket_path.empty())
        problem = "-s SOCKET is required";
    else if (o.url_text.empty())
        problem = "-b URL is required";
    else if (o.cert.empty() != o.key.empty())
        problem = "--cert and --key go together";
    else if (!o.broker.tls && (!o.cafile.empty() || !o.cert.empty()))
        problem = "--cafile, --cert and --key need an mqtts:// URL";
    else if (!o.password_file.empty() && o.broker.user.empty())
        problem = "--password-file needs a user in the URL (mqtt://user@host)";
    if (problem != nullptr) {
        error = problem;
        return false;
    }
    if (!fleet_name_ok(o.radio)) {
        error = std::string("the socket's name is no radio name (") + FLEET_NAME_RULE +
                "): give --radio NAME";
        return false;
    }
    return true;
}

} // namespace

const CliProgram MQTT_CLI = {
    "rfwatch-mqtt",
    "publish rfwatchd's spectra to an MQTT broker",
    " -s SOCKET -b URL [options]\n"
    "Publishes rfwatchd's spectra to an MQTT broker.\n\n",
    {ROWS, CLI_HELP, CLI_VERSION},
    "\nTopics: P/NODE/RADIO/spectrum (one message per line), P/NODE/RADIO/air\n"
    "(rfwatchd's air lines, as written), P/NODE/RADIO/status\n"
    "(retained {\"state\",\"daemon\",\"lines\",\"dropped\"}), P/NODE/RADIO/command.\n"
    "Exit status: 0 after a signal, 1 when a file cannot be read, 2 on bad usage.\n",
    26,
    true,
};

CliResult parse_options(int argc, char *const *argv, MqttOptions &o, std::string &error)
{
    o = MqttOptions{};
    o.prefix = "wifidiag";
    o.format = PayloadFormat::Json;
    o.max_queue = MAX_QUEUE_DEFAULT;
    o.air_period_ms = AIR_PERIOD_DEFAULT_MS;
    const CliResult r = cli_parse(MQTT_CLI, argc, argv, take, &o, error);
    if (r != CliResult::Run)
        return r;
    apply_defaults(o);
    return check_combination(o, error) ? CliResult::Run : CliResult::Usage;
}
