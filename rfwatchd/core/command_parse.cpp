// SPDX-License-Identifier: MIT
#include "core/command_parse.h"

#include "base/free_ptr.h"

#include <cJSON.h>
#include <cmath>
#include <cstring>

namespace
{

using JsonPtr = FreePtr<cJSON, cJSON_Delete>;

// Keys of the wrong type count as absent.
bool number_of(const cJSON *obj, const char *key, int32_t &value)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(obj, key);
    if (!cJSON_IsNumber(item))
        return false;
    value = clamp_to_int32(item->valuedouble);
    return true;
}

CommandParse parse_sweep(const cJSON *doc, ParsedCommand &out)
{
    if (!number_of(doc, "sweep_from", out.from_mhz) || !number_of(doc, "sweep_to", out.to_mhz))
        return COMMAND_IGNORED;
    if (out.from_mhz < 0 || out.to_mhz < 0 || out.from_mhz > out.to_mhz)
        return COMMAND_IGNORED;
    if (!number_of(doc, "duration_seconds", out.duration_s))
        out.duration_s = 0;
    if (!number_of(doc, "dwell_time_ms", out.dwell_ms) || out.dwell_ms <= 0)
        out.dwell_ms = DEFAULT_DWELL_MS;
    return COMMAND_OK;
}

// The period must be a whole number: 0 stops, anything else in range
// starts. Not clamped like the other numbers: 1e9 is no valid period.
CommandParse parse_air(const cJSON *doc, ParsedCommand &out)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(doc, "air_period_ms");
    if (!cJSON_IsNumber(item))
        return COMMAND_IGNORED;
    const double v = item->valuedouble;
    if (v != std::floor(v) || (v != 0 && (v < AIR_MIN_PERIOD_MS || v > AIR_MAX_PERIOD_MS)))
        return COMMAND_IGNORED;
    out.air_period_ms = static_cast<int32_t>(v);
    return COMMAND_OK;
}

} // namespace

int32_t clamp_to_int32(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(value); // truncates toward zero
}

CommandParse parse_client_command(const char *text, size_t len, ParsedCommand &out)
{
    memset(&out, 0, sizeof out);
    JsonPtr doc(cJSON_ParseWithLength(text, len));
    if (!doc) {
        const char *at = cJSON_GetErrorPtr();
        out.error_at = at && at >= text && at <= text + len ? at : text + len;
        return COMMAND_NOT_JSON;
    }
    int32_t command = 0;
    if (!number_of(doc.get(), "command", command))
        return COMMAND_IGNORED;
    switch (command) {
    case CMD_SET_AGGREGATION:
        out.command = CMD_SET_AGGREGATION;
        if (!number_of(doc.get(), "aggregation_period_ms", out.period_ms) || out.period_ms <= 0)
            return COMMAND_IGNORED;
        return COMMAND_OK;
    case CMD_START_SWEEP:
        out.command = CMD_START_SWEEP;
        return parse_sweep(doc.get(), out);
    case CMD_CANCEL_SWEEP:
        out.command = CMD_CANCEL_SWEEP;
        return COMMAND_OK;
    case CMD_AIR:
        out.command = CMD_AIR;
        return parse_air(doc.get(), out);
    default:
        return COMMAND_IGNORED;
    }
}
