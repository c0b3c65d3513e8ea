#include "command_check.h"

#include <algorithm>
#include <cJSON.h>
#include <cmath>
#include <cstdint>
#include <memory>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// The keys rfwatchd's command parser reads, and whether a command needs
// each. Anything else is refused: a typo ("dwell_ms") would otherwise be
// ignored silently by the daemon.
struct Field {
    const char *key;
    int64_t min;
    int64_t max;
};

constexpr Field COMMAND = {"command", 1, 3};
constexpr Field PERIOD = {"aggregation_period_ms", 1, INT32_MAX};
constexpr Field SWEEP_FROM = {"sweep_from", 0, INT32_MAX};
constexpr Field SWEEP_TO = {"sweep_to", 0, INT32_MAX};
constexpr Field DURATION = {"duration_seconds", 0, INT32_MAX};
constexpr Field DWELL = {"dwell_time_ms", 1, INT32_MAX};

struct CommandShape {
    int64_t number;
    const Field *required[2];
    const Field *optional[2];
};

constexpr CommandShape SHAPES[] = {
    {1, {&PERIOD, nullptr}, {nullptr, nullptr}},
    {2, {&SWEEP_FROM, &SWEEP_TO}, {&DURATION, &DWELL}},
    {3, {nullptr, nullptr}, {nullptr, nullptr}},
};

enum class Read { Absent, Ok, Bad };

// Whole numbers only: rfwatchd truncates 1.5 to 1, which is not what the
// publisher asked for.
Read read_field(const cJSON *obj, const Field &f, int64_t &value)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(obj, f.key);
    if (item == nullptr)
        return Read::Absent;
    if (!cJSON_IsNumber(item))
        return Read::Bad;
    const double v = item->valuedouble;
    if (!(v >= static_cast<double>(f.min) && v <= static_cast<double>(f.max)) || std::floor(v) != v)
        return Read::Bad;
    value = static_cast<int64_t>(v);
    return Read::Ok;
}

bool field_allowed(const CommandShape &shape, std::string_view key)
{
    const auto named = [&](const Field *f) { return f != nullptr && key == f->key; };
    return key == COMMAND.key || std::ranges::any_of(shape.required, named) ||
           std::ranges::any_of(shape.optional, named);
}

void append_field(std::string &json, const Field &f, int64_t value)
{
    json += ",\"";
    json += f.key;
    json += "\":" + std::to_string(value);
}

bool build(const cJSON *obj, const CommandShape &shape, std::string &json, std::string &error)
{
    for (const cJSON *item = obj->child; item != nullptr; item = item->next)
        if (item->string == nullptr || !field_allowed(shape, item->string)) {
            error = "unknown key for this command";
            return false;
        }
    json = "{\"command\":" + std::to_string(shape.number);
    int64_t value = 0;
    for (const Field *f : shape.required) {
        if (f == nullptr)
            continue;
        if (read_field(obj, *f, value) != Read::Ok) {
            error = std::string(f->key) + " missing or not a whole number in range";
            return false;
        }
        append_field(json, *f, value);
    }
    for (const Field *f : shape.optional) {
        if (f == nullptr)
            continue;
        const Read r = read_field(obj, *f, value);
        if (r == Read::Bad) {
            error = std::string(f->key) + " not a whole number in range";
            return false;
        }
        if (r == Read::Ok)
            append_field(json, *f, value);
    }
    json += "}";
    return true;
}

} // namespace

bool check_command(std::string_view message, std::string &json, std::string &error)
{
    json.clear();
    error.clear();
    if (message.size() > COMMAND_MAX_BYTES) {
        error = "longer than " + std::to_string(COMMAND_MAX_BYTES) + " bytes";
        return false;
    }
    // Parsed to the end: trailing text after the object would reach rfwatchd
    // as a second value it never reads.
    const char *end = nullptr;
    JsonPtr doc(cJSON_ParseWithLengthOpts(message.data(), message.size(), &end, 0), cJSON_Delete);
    if (!doc || !cJSON_IsObject(doc.get())) {
        error = "not one JSON object";
        return false;
    }
    for (; end < message.data() + message.size(); end++)
        if (*end != ' ' && *end != '\t' && *end != '\r' && *end != '\n') {
            error = "text after the JSON object";
            return false;
        }
    int64_t number = 0;
    if (read_field(doc.get(), COMMAND, number) != Read::Ok) {
        error = "\"command\" must be 1, 2 or 3";
        return false;
    }
    for (const CommandShape &shape : SHAPES)
        if (shape.number == number) {
            if (!build(doc.get(), shape, json, error)) {
                json.clear();
                return false;
            }
            break;
        }
    if (number == 2 && json.find("\"sweep_from\"") != std::string::npos) {
        // from <= to, as rfwatchd requires; checked on the values we wrote.
        int64_t from = 0, to = 0;
        read_field(doc.get(), SWEEP_FROM, from);
        read_field(doc.get(), SWEEP_TO, to);
        if (from > to) {
            json.clear();
            error = "sweep_from above sweep_to";
            return false;
        }
    }
    return true;
}

std::string escape_for_log(std::string_view text, size_t max_bytes)
{
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    const bool cut = text.size() > max_bytes;
    if (cut)
        text = text.substr(0, max_bytes);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && c != '\\' && c != '"') {
            out += c;
            continue;
        }
        out += "\\x";
        out += HEX[u >> 4];
        out += HEX[u & 0xf];
    }
    if (cut)
        out += "...";
    return out;
}
