// SPDX-License-Identifier: MIT
#include "options.h"

#include "fleet_contract.h"
#include "socket_name.h"

#include <bitset>
#include <string_view>
#include <vector>

namespace
{

enum Key {
    OPT_PERIOD = 256,
    OPT_AIR,
    OPT_AIR_PERIOD,
    OPT_DURATION,
    OPT_MAX_SIZE,
    OPT_RADIO,
    OPT_DRIVER,
    OPT_RING,
    OPT_BELOW,
    OPT_MQTT,
    OPT_TOPIC,
    OPT_PASSWORD_FILE,
    OPT_CAFILE,
    OPT_EXPORT,
    OPT_END
};

constexpr int PERIOD_MAX_MS = 60000;
// rfwatchd ignores a shorter air period.
constexpr int AIR_PERIOD_MIN_MS = 100;
constexpr double DURATION_MAX_S = 366.0 * 24 * 3600;
constexpr int RING_MAX_S = 3600;
constexpr double MAX_SIZE_MAX = 1ULL << 40;

constexpr CliOption ROWS[] = {
    {"socket", 's', CliArg::Text, "SOCKET", "rfwatchd's socket (default: rfwatchd.sock)"},
    {"output", 'o', CliArg::Text, "FILE",
     "the recording (appended to when it exists);\nwith --ring the folder of event files"},
    {"period-ms", OPT_PERIOD, CliArg::Whole, "N",
     "ask rfwatchd for one line per N ms after each connection", 1, PERIOD_MAX_MS},
    {"air", OPT_AIR, CliArg::None, nullptr, "ask rfwatchd for air lines too, and record them"},
    {"air-period-ms", OPT_AIR_PERIOD, CliArg::Whole, "N",
     "with --air: one air line per N ms (default 1000)", AIR_PERIOD_MIN_MS, PERIOD_MAX_MS},
    {"duration", OPT_DURATION, CliArg::Whole, "S", "stop after S seconds", 1, DURATION_MAX_S,
     " seconds"},
    {"max-size", OPT_MAX_SIZE, CliArg::Whole, "BYTES",
     "rotate FILE to FILE.1 before it passes BYTES\n(default 64 MiB; with --ring the memory "
     "kept, 16 MiB)",
     static_cast<double>(MAX_SIZE_MIN), MAX_SIZE_MAX, " bytes"},
    {"radio", OPT_RADIO, CliArg::Text, "NAME",
     "the radio in the header (default: SOCKET's name,\nno extension, or the topic's last level)"},
    {"driver", OPT_DRIVER, CliArg::Text, "D", "ath10k or ath11k (default: learnt from the lines)"},
    {"ring", OPT_RING, CliArg::Whole, "SECONDS",
     "flight recorder: keep SECONDS in memory, write\nthem and the SECONDS after an event into "
     "DIR",
     1, RING_MAX_S, " seconds"},
    {"below", OPT_BELOW, CliArg::Whole, "Q",
     "with --ring: an event when a channel's quality\nfalls below Q", 1, 100},
    {"mqtt", OPT_MQTT, CliArg::Text, "URL",
     "record from a broker (mqtt[s]://[user@]host[:port])\ninstead of rfwatchd's socket"},
    {"topic", OPT_TOPIC, CliArg::Text, "P/NODE/RADIO", "with --mqtt: the radio to record"},
    {"password-file", OPT_PASSWORD_FILE, CliArg::Text, "F", "the broker password, first line of F"},
    {"cafile", OPT_CAFILE, CliArg::Text, "F", "CA certificates for mqtts (default: the system's)"},
    {"export", OPT_EXPORT, CliArg::Text, "KIND",
     "csv or sigmf: turn recording IN into OUT\n(csv: a file, - for standard output; sigmf: a "
     "folder)"},
};

struct Parse {
    RecordOptions &o;
    std::bitset<OPT_END> seen;
};

bool take_driver(RecordOptions &o, const char *text, std::string &error)
{
    o.driver = text;
    error = "--driver takes ath10k or ath11k";
    return o.driver == "ath10k" || o.driver == "ath11k";
}

bool take_export(RecordOptions &o, const char *text, std::string &error)
{
    const std::string_view kind(text);
    o.export_kind = kind == "sigmf" ? ExportKind::Sigmf : ExportKind::Csv;
    error = "--export takes csv or sigmf";
    return kind == "csv" || kind == "sigmf";
}

bool take(void *target, int key, const char *text, double number, std::string &error)
{
    Parse &p = *static_cast<Parse *>(target);
    RecordOptions &o = p.o;
    p.seen.set(static_cast<size_t>(key));
    switch (key) {
    case 's':
        o.socket_path = text;
        return true;
    case 'o':
        o.output = text;
        return true;
    case OPT_PERIOD:
        o.period_ms = static_cast<int>(number);
        return true;
    case OPT_AIR:
        o.air = true;
        return true;
    case OPT_AIR_PERIOD:
        o.air_period_ms = static_cast<int>(number);
        return true;
    case OPT_DURATION:
        o.duration_s = static_cast<int64_t>(number);
        return true;
    case OPT_MAX_SIZE:
        o.max_size = static_cast<uint64_t>(number);
        return true;
    case OPT_RADIO:
        o.radio = text;
        error = std::string("--radio must be ") + FLEET_NAME_RULE;
        return fleet_name_ok(o.radio);
    case OPT_DRIVER:
        return take_driver(o, text, error);
    case OPT_RING:
        o.ring_s = static_cast<int>(number);
        return true;
    case OPT_BELOW:
        o.below = static_cast<int>(number);
        return true;
    case OPT_MQTT:
        o.mqtt_url = text;
        return parse_broker_url(text, o.broker, error);
    case OPT_TOPIC:
        o.topic = text;
        return true;
    case OPT_PASSWORD_FILE:
        o.password_file = text;
        return true;
    case OPT_CAFILE:
        o.cafile = text;
        return true;
    default: // OPT_EXPORT
        return take_export(o, text, error);
    }
}

bool seen(const Parse &p, int key)
{
    return p.seen.test(static_cast<size_t>(key));
}

// P/NODE/RADIO: a prefix and two names by the fleet's rule, so the topics
// are the ones rfwatch-mqtt publishes.
bool split_topic(const std::string &topic, std::string &radio)
{
    const size_t last = topic.rfind('/');
    if (last == std::string::npos || last == 0)
        return false;
    const size_t node = topic.rfind('/', last - 1);
    if (node == std::string::npos || node == 0)
        return false;
    const std::string_view t(topic);
    if (!fleet_prefix_ok(t.substr(0, node)) ||
        !fleet_name_ok(t.substr(node + 1, last - node - 1)) || !fleet_name_ok(t.substr(last + 1)))
        return false;
    radio = topic.substr(last + 1);
    return true;
}

// Options only some modes take: each refused with its own reason.
struct Rule {
    bool (*broken)(const Parse &p);
    const char *problem;
};

const Rule RULES[] = {
    {[](const Parse &p) { return seen(p, OPT_EXPORT) && p.seen.count() > 1; },
     "--export takes no other option: rfwatch-record --export KIND IN OUT"},
    {[](const Parse &p) { return p.o.mode == RecordMode::Export && p.o.export_out.empty(); },
     "--export needs IN and OUT"},
    {[](const Parse &p) { return p.o.mode != RecordMode::Export && p.o.output.empty(); },
     "-o FILE (or with --ring, -o DIR) is required"},
    {[](const Parse &p) { return seen(p, OPT_BELOW) && p.o.mode != RecordMode::Ring; },
     "--below goes with --ring"},
    {[](const Parse &p) { return seen(p, OPT_AIR_PERIOD) && !p.o.air; },
     "--air-period-ms goes with --air"},
    {[](const Parse &p) { return seen(p, OPT_MQTT) && seen(p, 's'); },
     "-s and --mqtt are two sources: give one"},
    {[](const Parse &p) { return seen(p, OPT_MQTT) && !seen(p, OPT_TOPIC); },
     "--mqtt needs --topic P/NODE/RADIO"},
    {[](const Parse &p) { return seen(p, OPT_TOPIC) && !seen(p, OPT_MQTT); },
     "--topic goes with --mqtt"},
    {[](const Parse &p) { return seen(p, OPT_MQTT) && seen(p, OPT_PERIOD); },
     "--period-ms asks rfwatchd itself: not with --mqtt"},
    {[](const Parse &p) {
         return (seen(p, OPT_PASSWORD_FILE) || seen(p, OPT_CAFILE)) && !seen(p, OPT_MQTT);
     },
     "--password-file and --cafile go with --mqtt"},
    {[](const Parse &p) { return seen(p, OPT_CAFILE) && !p.o.broker.tls; },
     "--cafile needs an mqtts:// URL"},
    {[](const Parse &p) { return seen(p, OPT_PASSWORD_FILE) && p.o.broker.user.empty(); },
     "--password-file needs a user in the URL (mqtts://user@host)"},
};

bool check(Parse &p, std::string &error)
{
    for (const Rule &r : RULES)
        if (r.broken(p)) {
            error = r.problem;
            return false;
        }
    RecordOptions &o = p.o;
    std::string topic_radio;
    if (!o.topic.empty() && !split_topic(o.topic, topic_radio)) {
        error = std::string("--topic must be P/NODE/RADIO, NODE and RADIO ") + FLEET_NAME_RULE;
        return false;
    }
    if (o.radio.empty())
        o.radio = o.mqtt_url.empty() ? radio_from_socket(o.socket_path) : topic_radio;
    return true;
}

} // namespace

const CliProgram RECORD_CLI = {
    "rfwatch-record",
    "record rfwatchd's lines into a recording file",
    " -o FILE [-s SOCKET] [options]\n"
    "       rfwatch-record --ring SECONDS -o DIR [options]\n"
    "       rfwatch-record --mqtt URL --topic P/NODE/RADIO -o FILE [options]\n"
    "       rfwatch-record --export csv|sigmf IN OUT\n"
    "Records rfwatchd's lines, with the time each arrived, into a recording.\n\n",
    {ROWS, CLI_HELP, CLI_VERSION},
    "\nSIGINT or SIGTERM end the recording whole; SIGUSR1 is an event (--ring).\n"
    "Exit status: 0 when stopped or done, 1 when a file cannot be written or read,\n"
    "2 on bad usage.\n",
    26,
    true,
};

CliResult parse_options(int argc, char *const *argv, RecordOptions &o, std::string &error)
{
    o = RecordOptions{};
    Parse p{o, {}};
    std::vector<std::string> operands;
    const CliResult r = cli_parse_operands(RECORD_CLI, argc, argv, take, &p, 2, operands, error);
    if (r != CliResult::Run)
        return r;
    o.mode = seen(p, OPT_EXPORT) ? RecordMode::Export
             : seen(p, OPT_RING) ? RecordMode::Ring
                                 : RecordMode::File;
    if (o.mode != RecordMode::Export && !operands.empty()) {
        error = "unexpected argument " + operands.front();
        return CliResult::Usage;
    }
    if (operands.size() == 2) {
        o.export_in = operands[0];
        o.export_out = operands[1];
    }
    if (o.mqtt_url.empty() && o.socket_path.empty())
        o.socket_path = "rfwatchd.sock";
    if (o.air && o.air_period_ms == 0)
        o.air_period_ms = AIR_PERIOD_DEFAULT_MS;
    if (o.max_size == 0)
        o.max_size = o.mode == RecordMode::Ring ? MAX_SIZE_RING_DEFAULT : MAX_SIZE_FILE_DEFAULT;
    return check(p, error) ? CliResult::Run : CliResult::Usage;
}
