#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{

bool whole_number(const char *text, long min, long max, long &value)
{
    char *end = nullptr;
    errno = 0;
    const long v = strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || v < min || v > max)
        return false;
    value = v;
    return true;
}

using Setter = bool (*)(MqttOptions &o, const char *arg, std::string &error);

struct OptionSpec {
    const char *name;
    char short_name; // 0: long form only
    const char *arg; // nullptr: a flag
    const char *help;
    Setter set;
};

bool set_socket(MqttOptions &o, const char *arg, std::string & /*error*/)
{
    o.socket_path = arg;
    return true;
}

bool set_broker(MqttOptions &o, const char *arg, std::string &error)
{
    o.url_text = arg;
    return parse_broker_url(arg, o.broker, error);
}

// The fleet page lists only names that keep the fleet's rule: a radio
// published under another would never be seen.
bool set_name(std::string &field, const char *what, const char *arg, std::string &error)
{
    field = arg;
    if (fleet_name_ok(field))
        return true;
    error = std::string(what) + " must be " + FLEET_NAME_RULE;
    return false;
}

bool set_node(MqttOptions &o, const char *arg, std::string &error)
{
    return set_name(o.node, "--node", arg, error);
}

bool set_radio(MqttOptions &o, const char *arg, std::string &error)
{
    return set_name(o.radio, "--radio", arg, error);
}

bool set_prefix(MqttOptions &o, const char *arg, std::string &error)
{
    o.prefix = arg;
    if (fleet_prefix_ok(o.prefix))
        return true;
    error = std::string("--prefix must be ") + FLEET_PREFIX_RULE;
    return false;
}

bool set_period(MqttOptions &o, const char *arg, std::string &error)
{
    long v = 0;
    if (!whole_number(arg, 1, PERIOD_MAX_MS, v)) {
        error = "--period-ms takes 1 to " + std::to_string(PERIOD_MAX_MS);
        return false;
    }
    o.period_ms = static_cast<int>(v);
    return true;
}

bool set_format(MqttOptions &o, const char *arg, std::string &error)
{
    const std::string_view f = arg;
    if (f == "json" || f == "compact") {
        o.format = f == "json" ? PayloadFormat::Json : PayloadFormat::Compact;
        return true;
    }
    error = "--format takes json or compact";
    return false;
}

bool set_qos(MqttOptions &o, const char *arg, std::string &error)
{
    long v = 0;
    if (!whole_number(arg, 0, 1, v)) {
        error = "--qos takes 0 or 1";
        return false;
    }
    o.qos = static_cast<int>(v);
    return true;
}

bool set_commands(MqttOptions &o, const char * /*arg*/, std::string & /*error*/)
{
    o.commands = true;
    return true;
}

bool set_password_file(MqttOptions &o, const char *arg, std::string & /*error*/)
{
    o.password_file = arg;
    return true;
}

bool set_cafile(MqttOptions &o, const char *arg, std::string & /*error*/)
{
    o.cafile = arg;
    return true;
}

bool set_cert(MqttOptions &o, const char *arg, std::string & /*error*/)
{
    o.cert = arg;
    return true;
}

bool set_key(MqttOptions &o, const char *arg, std::string & /*error*/)
{
    o.key = arg;
    return true;
}

bool set_client_id(MqttOptions &o, const char *arg, std::string &error)
{
    o.client_id = arg;
    if (!o.client_id.empty() && o.client_id.size() <= 256)
        return true;
    error = "--client-id must be 1 to 256 characters";
    return false;
}

bool set_max_queue(MqttOptions &o, const char *arg, std::string &error)
{
    long v = 0;
    if (!whole_number(arg, 1, static_cast<long>(MAX_QUEUE_LIMIT), v)) {
        error = "--max-queue takes 1 to " + std::to_string(MAX_QUEUE_LIMIT);
        return false;
    }
    o.max_queue = static_cast<size_t>(v);
    return true;
}

constexpr OptionSpec OPTIONS[] = {
    {"socket", 's', "SOCKET", "rfwatchd's socket (required)", set_socket},
    {"broker", 'b', "URL", "mqtt://[user@]host[:port] or mqtts://... (required)", set_broker},
    {"node", 0, "NAME", "this access point in the topics (default: the host name)", set_node},
    {"radio", 0, "NAME", "the radio in the topics (default: SOCKET's name, no extension)",
     set_radio},
    {"prefix", 0, "P", "first topic levels (default: wifidiag)", set_prefix},
    {"period-ms", 0, "N", "ask rfwatchd for one line per N ms after each connection", set_period},
    {"format", 0, "FMT", "json (the line as rfwatchd wrote it, default) or compact", set_format},
    {"qos", 0, "Q", "0 (default) or 1 for the spectra", set_qos},
    {"commands", 0, nullptr, "pass commands published on P/NODE/RADIO/command to rfwatchd",
     set_commands},
    {"password-file", 0, "F", "the broker password, first line of F", set_password_file},
    {"cafile", 0, "F", "CA certificates for mqtts (default: the system's)", set_cafile},
    {"cert", 0, "F", "client certificate for mqtts (with --key)", set_cert},
    {"key", 0, "F", "client key for mqtts (with --cert)", set_key},
    {"client-id", 0, "ID", "MQTT client id (default: rfwatch-mqtt-NODE-RADIO)", set_client_id},
    {"max-queue", 0, "N", "messages kept while the broker is slow or gone (default 1000)",
     set_max_queue},
};

const OptionSpec *find_option(std::string_view arg, std::string_view &inline_value,
                              bool &has_inline)
{
    has_inline = false;
    if (arg.size() == 2 && arg[0] == '-' && arg[1] != '-') {
        for (const OptionSpec &spec : OPTIONS)
            if (spec.short_name == arg[1])
                return &spec;
        return nullptr;
    }
    if (!arg.starts_with("--"))
        return nullptr;
    arg.remove_prefix(2);
    if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
        inline_value = arg.substr(eq + 1);
        has_inline = true;
        arg = arg.substr(0, eq);
    }
    for (const OptionSpec &spec : OPTIONS)
        if (arg == spec.name)
            return &spec;
    return nullptr;
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

std::string radio_from_socket(std::string_view socket_path)
{
    if (const size_t slash = socket_path.rfind('/'); slash != std::string_view::npos)
        socket_path.remove_prefix(slash + 1);
    if (const size_t dot = socket_path.rfind('.'); dot != std::string_view::npos && dot > 0)
        socket_path = socket_path.substr(0, dot);
    return std::string(socket_path);
}

ParseResult parse_options(int argc, const char *const *argv, MqttOptions &o, std::string &error)
{
    o = MqttOptions{};
    o.prefix = "wifidiag";
    o.format = PayloadFormat::Json;
    o.max_queue = MAX_QUEUE_DEFAULT;
    for (int i = 1; i < argc; i++) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help")
            return ParseResult::Help;
        std::string_view inline_value;
        bool has_inline = false;
        const OptionSpec *spec = find_option(arg, inline_value, has_inline);
        if (spec == nullptr) {
            error = "unknown option " + std::string(arg);
            return ParseResult::Usage;
        }
        std::string value;
        if (spec->arg == nullptr && has_inline) {
            error = "--" + std::string(spec->name) + " takes no value";
            return ParseResult::Usage;
        }
        if (spec->arg != nullptr && has_inline) {
            value = inline_value;
        } else if (spec->arg != nullptr) {
            if (i + 1 >= argc) {
                error = "--" + std::string(spec->name) + " needs " + spec->arg;
                return ParseResult::Usage;
            }
            value = argv[++i];
        }
        if (!spec->set(o, value.c_str(), error))
            return ParseResult::Usage;
    }
    apply_defaults(o);
    return check_combination(o, error) ? ParseResult::Run : ParseResult::Usage;
}

void print_usage(FILE *out)
{
    fprintf(out, "Usage: rfwatch-mqtt -s SOCKET -b URL [options]\n"
                 "Publishes rfwatchd's spectra to an MQTT broker.\n\n");
    for (const OptionSpec &spec : OPTIONS) {
        std::string left = spec.short_name ? std::string("-") + spec.short_name + ", " : "    ";
        left += std::string("--") + spec.name;
        if (spec.arg != nullptr)
            left += std::string(" ") + spec.arg;
        fprintf(out, "  %-26s %s\n", left.c_str(), spec.help);
    }
    fprintf(out, "  %-26s %s\n", "-h, --help", "this text");
    fprintf(out, "\nTopics: P/NODE/RADIO/spectrum (one message per line), P/NODE/RADIO/status\n"
                 "(retained {\"state\",\"daemon\",\"lines\",\"dropped\"}), P/NODE/RADIO/command.\n"
                 "Exit status: 0 after a signal, 1 when a file cannot be read, 2 on bad usage.\n");
}
