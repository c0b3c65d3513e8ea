// SPDX-License-Identifier: MIT
#include "command.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

struct SweepSpan {
    int32_t lowest_mhz;
    int32_t highest_mhz;
};

constexpr SweepSpan SWEEP_SPANS[] = {
#define COMMAND_FIELD(id, key, page_key, label, min, max, unit)
#define SWEEP_SPAN(lowest, highest) {lowest, highest},
#define COMMAND_GAP(id, lowest, highest, why)
#include "command_limits.def"
#undef COMMAND_GAP
#undef SWEEP_SPAN
#undef COMMAND_FIELD
};

struct FieldGap {
    CommandField field;
    int64_t lowest, highest;
    const char *why;
};

constexpr FieldGap FIELD_GAPS[] = {
#define COMMAND_FIELD(id, key, page_key, label, min, max, unit)
#define SWEEP_SPAN(lowest, highest)
#define COMMAND_GAP(id, lowest, highest, why) {CommandField::id, lowest, highest, why},
#include "command_limits.def"
#undef COMMAND_GAP
#undef SWEEP_SPAN
#undef COMMAND_FIELD
};

const FieldGap *gap_of(CommandField f, int64_t value)
{
    for (const FieldGap &g : FIELD_GAPS)
        if (g.field == f && value >= g.lowest && value <= g.highest)
            return &g;
    return nullptr;
}

// Any gap of f, for naming its limits.
const FieldGap *any_gap_of(CommandField f)
{
    for (const FieldGap &g : FIELD_GAPS)
        if (g.field == f)
            return &g;
    return nullptr;
}

const FieldLimit &limit_of(CommandField f)
{
    return COMMAND_LIMITS[static_cast<size_t>(f)];
}

const char *key_of(CommandField f, CommandKeys keys)
{
    return keys == CommandKeys::Page ? limit_of(f).page_key : limit_of(f).key;
}

enum class Read { Absent, Ok, Bad };

// Whole numbers only: rfwatchd truncates 1.5 to 1, which is not what was
// asked for.
Read read_field(const cJSON *obj, const char *key, int64_t min, int64_t max, int64_t &value)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(obj, key);
    if (item == nullptr || cJSON_IsNull(item))
        return Read::Absent;
    const double v = cJSON_IsNumber(item) ? item->valuedouble : NAN;
    if (!(v >= static_cast<double>(min) && v <= static_cast<double>(max)) || std::floor(v) != v)
        return Read::Bad;
    value = static_cast<int64_t>(v);
    return Read::Ok;
}

// Reads f into value; a required field must be there.
CommandCheck field(const cJSON *obj, CommandField f, CommandKeys keys, bool required,
                   int32_t &value, bool *present = nullptr)
{
    int64_t v = 0;
    switch (read_field(obj, key_of(f, keys), limit_of(f).min, limit_of(f).max, v)) {
    case Read::Absent:
        if (required)
            return {CommandError::Missing, f};
        break;
    case Read::Bad:
        return {CommandError::OutOfRange, f};
    case Read::Ok:
        if (gap_of(f, v) != nullptr)
            return {CommandError::InGap, f};
        value = static_cast<int32_t>(v);
        if (present != nullptr)
            *present = true;
        break;
    }
    return {CommandError::Ok, CommandField::NONE};
}

CommandCheck sweep_fields(const cJSON *obj, CommandKeys keys, DaemonCommand &out)
{
    const CommandCheck checks[] = {
        field(obj, CommandField::FROM, keys, true, out.from_mhz),
        field(obj, CommandField::TO, keys, true, out.to_mhz),
        field(obj, CommandField::DURATION, keys, false, out.duration_s, &out.has_duration),
        field(obj, CommandField::DWELL, keys, false, out.dwell_ms, &out.has_dwell),
    };
    for (const CommandCheck &c : checks)
        if (c.error != CommandError::Ok)
            return c;
    // The sweep engine plans no channels for equal ends.
    if (out.to_mhz <= out.from_mhz)
        return {CommandError::ToNotAbove, CommandField::NONE};
    for (const SweepSpan &s : SWEEP_SPANS)
        if (out.to_mhz >= s.lowest_mhz && out.from_mhz <= s.highest_mhz)
            return {CommandError::Ok, CommandField::NONE};
    return {CommandError::NoChannel, CommandField::NONE};
}

// The keys a command of kind may carry, besides "command".
bool key_allowed(CommandKind kind, std::string_view key)
{
    const auto is = [&](CommandField f) { return key == limit_of(f).key; };
    switch (kind) {
    case CommandKind::SetAggregation:
        return is(CommandField::PERIOD);
    case CommandKind::StartSweep:
        return is(CommandField::FROM) || is(CommandField::TO) || is(CommandField::DURATION) ||
               is(CommandField::DWELL);
    case CommandKind::Air:
        return is(CommandField::AIR_PERIOD);
    case CommandKind::CancelSweep:
        break;
    }
    return false;
}

void append(std::string &json, CommandField f, int32_t value)
{
    json += ",\"";
    json += limit_of(f).key;
    json += "\":" + std::to_string(value);
}

} // namespace

std::string encode_command(const DaemonCommand &cmd)
{
    std::string json = "{\"command\":" + std::to_string(static_cast<int32_t>(cmd.kind));
    switch (cmd.kind) {
    case CommandKind::SetAggregation:
        append(json, CommandField::PERIOD, cmd.period_ms);
        break;
    case CommandKind::StartSweep:
        append(json, CommandField::FROM, cmd.from_mhz);
        append(json, CommandField::TO, cmd.to_mhz);
        if (cmd.has_duration)
            append(json, CommandField::DURATION, cmd.duration_s);
        if (cmd.has_dwell)
            append(json, CommandField::DWELL, cmd.dwell_ms);
        break;
    case CommandKind::Air:
        append(json, CommandField::AIR_PERIOD, cmd.air_period_ms);
        break;
    case CommandKind::CancelSweep:
        break;
    }
    return json + "}";
}

CommandCheck command_fields(const cJSON *obj, CommandKind kind, CommandKeys keys,
                            DaemonCommand &out)
{
    out = DaemonCommand{};
    out.kind = kind;
    switch (kind) {
    case CommandKind::SetAggregation:
        return field(obj, CommandField::PERIOD, keys, true, out.period_ms);
    case CommandKind::StartSweep:
        return sweep_fields(obj, keys, out);
    case CommandKind::Air:
        return field(obj, CommandField::AIR_PERIOD, keys, true, out.air_period_ms);
    case CommandKind::CancelSweep:
        break;
    }
    return {CommandError::Ok, CommandField::NONE};
}

CommandCheck parse_command(std::string_view json, DaemonCommand &out)
{
    out = DaemonCommand{};
    if (json.size() > COMMAND_MAX_BYTES)
        return {CommandError::TooLong, CommandField::NONE};
    const char *end = nullptr;
    JsonPtr doc(cJSON_ParseWithLengthOpts(json.data(), json.size(), &end, 0), cJSON_Delete);
    if (!doc || !cJSON_IsObject(doc.get()))
        return {CommandError::NotObject, CommandField::NONE};
    for (; end < json.data() + json.size(); end++)
        if (*end != ' ' && *end != '\t' && *end != '\r' && *end != '\n')
            return {CommandError::TextAfter, CommandField::NONE};
    int64_t kind = 0;
    if (read_field(doc.get(), "command", 1, 4, kind) != Read::Ok)
        return {CommandError::BadKind, CommandField::NONE};
    for (const cJSON *item = doc->child; item != nullptr; item = item->next)
        if (item->string == nullptr || (std::string_view(item->string) != "command" &&
                                        !key_allowed(static_cast<CommandKind>(kind), item->string)))
            return {CommandError::UnknownKey, CommandField::NONE};
    return command_fields(doc.get(), static_cast<CommandKind>(kind), CommandKeys::Daemon, out);
}

CommandCheck command_from_option(CommandKind kind, const char *arg, DaemonCommand &out)
{
    out = DaemonCommand{};
    static constexpr CommandField ORDER[] = {CommandField::FROM, CommandField::TO,
                                             CommandField::DURATION, CommandField::DWELL};
    JsonPtr obj(cJSON_CreateObject(), cJSON_Delete);
    const char *at = arg;
    const bool sweep = kind == CommandKind::StartSweep;
    for (size_t i = 0; obj && i < (sweep ? std::size(ORDER) : 1); i++) {
        char *end = nullptr;
        errno = 0;
        const double v = strtod(at, &end);
        if (end == at || errno != 0)
            return {CommandError::BadOption, CommandField::NONE};
        const CommandField f = sweep                      ? ORDER[i]
                               : kind == CommandKind::Air ? CommandField::AIR_PERIOD
                                                          : CommandField::PERIOD;
        cJSON_AddNumberToObject(obj.get(), limit_of(f).key, v);
        at = end;
        // The separator before the next number: FROM-TO,DURATION,DWELL.
        if (*at == '\0' && (!sweep || i >= 1))
            return command_fields(obj.get(), kind, CommandKeys::Daemon, out);
        if (*at != (i == 0 ? '-' : ',') || !sweep)
            return {CommandError::BadOption, CommandField::NONE};
        at++;
    }
    return {CommandError::BadOption, CommandField::NONE};
}

std::string command_error_text(CommandCheck check, CommandKeys keys)
{
    const bool page = keys == CommandKeys::Page;
    std::string name = check.field == CommandField::NONE
                           ? std::string()
                           : (page ? limit_of(check.field).label : key_of(check.field, keys));
    switch (check.error) {
    case CommandError::Ok:
        return "";
    case CommandError::TooLong:
        return "longer than " + std::to_string(COMMAND_MAX_BYTES) + " bytes";
    case CommandError::NotObject:
        return page ? "command is not a JSON object" : "not one JSON object";
    case CommandError::TextAfter:
        return "text after the JSON object";
    case CommandError::BadKind:
        return "\"command\" must be 1, 2, 3 or 4";
    case CommandError::UnknownKey:
        return "unknown key for this command";
    case CommandError::Missing:
        return name + " is missing";
    case CommandError::OutOfRange: {
        const FieldLimit &l = limit_of(check.field);
        std::string text = name + " must be " + std::to_string(l.min) + " to " +
                           std::to_string(l.max) + " " + l.unit;
        if (const FieldGap *g = any_gap_of(check.field))
            text += ", not " + std::to_string(g->lowest) + " to " + std::to_string(g->highest);
        return text;
    }
    case CommandError::InGap: {
        const FieldGap *g = any_gap_of(check.field);
        if (g == nullptr)
            return name + " is refused";
        return name + " of " + std::to_string(g->lowest) + " to " + std::to_string(g->highest) +
               " " + limit_of(check.field).unit + " is " + g->why;
    }
    case CommandError::ToNotAbove:
        return page ? "sweep: to must be above from" : "sweep_to must be above sweep_from";
    case CommandError::BadOption:
        return "not MS (a period) or FROM-TO[,DURATION[,DWELL]] (a sweep)";
    case CommandError::NoChannel: {
        std::string text = "sweep: the range holds no channel rfwatchd sweeps (";
        for (const SweepSpan &s : SWEEP_SPANS)
            text += (&s == SWEEP_SPANS ? "" : ", ") + std::to_string(s.lowest_mhz) + "-" +
                    std::to_string(s.highest_mhz);
        return text + " MHz)";
    }
    }
    return "";
}
