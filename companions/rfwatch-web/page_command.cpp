#include "page_command.h"

#include <cJSON.h>
#include <cmath>
#include <memory>
#include <string>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// One whole-number field of a page command and the range the page may ask.
struct Limit {
    const char *key;  // in the page's message
    const char *what; // how the error names it, with its command
    long min;
    long max;
    const char *unit;
};

enum class FieldState { Present, Absent, Bad };

// Reads a whole number within the limit; Absent when the key is missing or
// null (the page sends null for an empty optional input).
FieldState read_field(const cJSON *msg, const Limit &limit, long &value, std::string &error)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(msg, limit.key);
    if (item == nullptr || cJSON_IsNull(item))
        return FieldState::Absent;
    double v = cJSON_IsNumber(item) ? item->valuedouble : NAN;
    if (!(v >= static_cast<double>(limit.min) && v <= static_cast<double>(limit.max)) ||
        std::floor(v) != v) {
        error = std::string(limit.what) + " must be " + std::to_string(limit.min) + " to " +
                std::to_string(limit.max) + " " + limit.unit;
        return FieldState::Bad;
    }
    value = static_cast<long>(v);
    return FieldState::Present;
}

bool required_field(const cJSON *msg, const Limit &limit, long &value, std::string &error)
{
    FieldState state = read_field(msg, limit, value, error);
    if (state == FieldState::Absent)
        error = std::string(limit.what) + " is missing";
    return state == FieldState::Present;
}

constexpr Limit PERIOD_MS = {"ms", "period", PAGE_PERIOD_MIN_MS, PAGE_PERIOD_MAX_MS, "ms"};
constexpr Limit SWEEP_FROM = {"from", "sweep: from", PAGE_SWEEP_MIN_MHZ, PAGE_SWEEP_MAX_MHZ, "MHz"};
constexpr Limit SWEEP_TO = {"to", "sweep: to", PAGE_SWEEP_MIN_MHZ, PAGE_SWEEP_MAX_MHZ, "MHz"};
constexpr Limit SWEEP_DURATION = {"duration", "sweep: duration", 0, PAGE_DURATION_MAX_S, "s"};
constexpr Limit SWEEP_DWELL = {"dwell", "sweep: dwell", PAGE_DWELL_MIN_MS, PAGE_DWELL_MAX_MS, "ms"};

bool period_command(const cJSON *msg, std::string &json, std::string &error)
{
    long ms = 0;
    if (!required_field(msg, PERIOD_MS, ms, error))
        return false;
    json = "{\"command\":1,\"aggregation_period_ms\":" + std::to_string(ms) + "}";
    return true;
}

bool sweep_command(const cJSON *msg, std::string &json, std::string &error)
{
    long from = 0, to = 0, duration = 0, dwell = 0;
    if (!required_field(msg, SWEEP_FROM, from, error) || !required_field(msg, SWEEP_TO, to, error))
        return false;
    if (to < from) {
        error = "sweep: to must not be below from";
        return false;
    }
    // Optional: the daemon's own defaults apply to what the page leaves out.
    FieldState has_duration = read_field(msg, SWEEP_DURATION, duration, error);
    if (has_duration == FieldState::Bad)
        return false;
    FieldState has_dwell = read_field(msg, SWEEP_DWELL, dwell, error);
    if (has_dwell == FieldState::Bad)
        return false;
    json = "{\"command\":2,\"sweep_from\":" + std::to_string(from) +
           ",\"sweep_to\":" + std::to_string(to);
    if (has_duration == FieldState::Present)
        json += ",\"duration_seconds\":" + std::to_string(duration);
    if (has_dwell == FieldState::Present)
        json += ",\"dwell_time_ms\":" + std::to_string(dwell);
    json += "}";
    return true;
}

bool cancel_command(const cJSON * /*msg*/, std::string &json, std::string & /*error*/)
{
    json = "{\"command\":3}";
    return true;
}

struct PageCommand {
    const char *type;
    bool (*to_json)(const cJSON *msg, std::string &json, std::string &error);
};

constexpr PageCommand PAGE_COMMANDS[] = {
    {"period", period_command},
    {"sweep", sweep_command},
    {"cancel", cancel_command},
};

} // namespace

PageCommandResult page_command_to_json(std::string_view message, std::string &json,
                                       std::string &error)
{
    json.clear();
    error.clear();
    JsonPtr msg(cJSON_ParseWithLength(message.data(), message.size()), cJSON_Delete);
    if (!msg || !cJSON_IsObject(msg.get())) {
        error = "command is not a JSON object";
        return PageCommandResult::Invalid;
    }
    const char *type = cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(msg.get(), "type"));
    if (type == nullptr) {
        error = "command has no type";
        return PageCommandResult::Invalid;
    }
    // The page's own text is not echoed: the message goes back into JSON
    // and onto the page.
    for (const PageCommand &command : PAGE_COMMANDS) {
        if (std::string_view(type) != command.type)
            continue;
        if (command.to_json(msg.get(), json, error))
            return PageCommandResult::Ok;
        json.clear();
        return PageCommandResult::Invalid;
    }
    error = "unknown command type (known: period, sweep, cancel)";
    return PageCommandResult::Invalid;
}

PageSelectResult page_select_radio(std::string_view message, int max_radio, int &radio,
                                   std::string &error)
{
    JsonPtr msg(cJSON_ParseWithLength(message.data(), message.size()), cJSON_Delete);
    const char *type =
        cJSON_IsObject(msg.get())
            ? cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(msg.get(), "type"))
            : nullptr;
    if (type == nullptr || std::string_view(type) != "select")
        return PageSelectResult::NotSelect;
    const Limit limit = {"radio", "select: radio", 0, static_cast<long>(max_radio) - 1,
                         "(a radio id)"};
    long v = 0;
    if (max_radio <= 0) {
        error = "no radio has been heard of yet";
        return PageSelectResult::Invalid;
    }
    if (!required_field(msg.get(), limit, v, error))
        return PageSelectResult::Invalid;
    radio = static_cast<int>(v);
    return PageSelectResult::Select;
}
