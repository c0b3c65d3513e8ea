// SPDX-License-Identifier: MIT
#include "air_line.h"

#include <cJSON.h>
#include <cmath>
#include <memory>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// 2^64 itself does not fit; every double below it is a whole u64.
constexpr double BELOW_TWO_POW_64 = 18446744073709549568.0;
// Far outside anything a radio reports, yet it keeps inf and 1e300 out.
constexpr double DBM_MIN = -200, DBM_MAX = 100;
constexpr double MHZ_MAX = 65535;
constexpr double MS_MAX = 86400000; // a day: no period or burst is longer

const cJSON *member(const cJSON *obj, const char *key)
{
    return cJSON_GetObjectItemCaseSensitive(obj, key);
}

bool number_in(const cJSON *item, double min, double max, double &out)
{
    if (!cJSON_IsNumber(item) || !(item->valuedouble >= min && item->valuedouble <= max))
        return false;
    out = item->valuedouble;
    return true;
}

bool real(const cJSON *obj, const char *key, double min, double max, double &out)
{
    return number_in(member(obj, key), min, max, out);
}

// A count that does not fit its type is refused, not cut.
template <typename T> bool whole(const cJSON *obj, const char *key, double min, double max, T &out)
{
    double v = 0;
    if (!real(obj, key, min, max, v) || std::floor(v) != v)
        return false;
    out = static_cast<T>(v);
    return true;
}

// Evidence a signal may leave out: absent (or null) reads as 0.
template <typename T>
bool optional(const cJSON *obj, const char *key, double min, double max, T &out,
              bool whole_only = false)
{
    const cJSON *item = member(obj, key);
    double v = 0;
    if (item == nullptr || cJSON_IsNull(item)) {
        out = 0;
        return true;
    }
    if (!number_in(item, min, max, v) || (whole_only && std::floor(v) != v))
        return false;
    out = static_cast<T>(v);
    return true;
}

// Names end up on terminals and pages: short, and printable ASCII only, so
// no escape sequence or control character rides along.
bool name(const cJSON *obj, const char *key, std::string &out)
{
    const char *text = cJSON_GetStringValue(member(obj, key));
    if (text == nullptr)
        return false;
    const std::string_view s(text);
    if (s.empty() || s.size() > AIR_LINE_MAX_NAME)
        return false;
    for (const char c : s)
        if (c < 0x20 || c > 0x7e)
            return false;
    out.assign(s);
    return true;
}

bool only_blank(const char *from, const char *end)
{
    for (; from < end; from++)
        if (*from != ' ' && *from != '\t' && *from != '\r' && *from != '\n')
            return false;
    return true;
}

bool parse_channel(const cJSON *c, AirLineChannel &out)
{
    return cJSON_IsObject(c) && whole(c, "channel", 0, 65535, out.channel) &&
           whole(c, "mhz", 0, MHZ_MAX, out.mhz) && real(c, "utilisation", 0, 1, out.utilisation) &&
           whole(c, "quality", 0, 100, out.quality);
}

bool parse_signal(const cJSON *s, AirLineSignal &out)
{
    return cJSON_IsObject(s) && name(s, "class", out.cls) && real(s, "mhz", 0, MHZ_MAX, out.mhz) &&
           real(s, "width_mhz", 0, MHZ_MAX, out.width_mhz) &&
           real(s, "dbm", DBM_MIN, DBM_MAX, out.dbm) && real(s, "duty", 0, 1, out.duty) &&
           real(s, "confidence", 0, 1, out.confidence) &&
           whole(s, "first_seen", 0, BELOW_TWO_POW_64, out.first_seen) &&
           whole(s, "age_ms", 0, BELOW_TWO_POW_64, out.age_ms) &&
           optional(s, "period_ms", 0, MS_MAX, out.period_ms) &&
           optional(s, "hops", 0, 4294967295.0, out.hops, true) &&
           optional(s, "burst_ms", 0, MS_MAX, out.burst_ms);
}

// Each element of the array through parse, at most max of them.
template <typename T>
bool parse_list(const cJSON *list, size_t max, T *out, size_t &count,
                bool (*parse)(const cJSON *, T &))
{
    if (!cJSON_IsArray(list))
        return false;
    count = 0;
    for (const cJSON *item = list->child; item != nullptr; item = item->next) {
        if (count == max || !parse(item, out[count]))
            return false;
        count++;
    }
    return true;
}

} // namespace

bool is_air_line(std::string_view line)
{
    size_t i = 0;
    const auto blanks = [&] {
        while (i < line.size() &&
               (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
            i++;
    };
    blanks();
    if (i == line.size() || line[i] != '{')
        return false;
    i++;
    blanks();
    return line.substr(i, 5) == "\"air\"";
}

bool parse_air_line(std::string_view line, AirLine &out)
{
    const char *end = nullptr;
    JsonPtr doc(cJSON_ParseWithLengthOpts(line.data(), line.size(), &end, false), cJSON_Delete);
    const cJSON *d = doc.get();
    if (!cJSON_IsObject(d) || !only_blank(end, line.data() + line.size()))
        return false;
    int version = 0;
    return whole(d, "air", 1, 1, version) && name(d, "driver", out.driver) &&
           whole(d, "freq_mhz", 0, MHZ_MAX, out.freq_mhz) &&
           whole(d, "bandwidth_mhz", 0, MHZ_MAX, out.bandwidth_mhz) &&
           whole(d, "timestamp", 0, BELOW_TWO_POW_64, out.timestamp) &&
           whole(d, "window_ms", 0, 4294967295.0, out.window_ms) &&
           whole(d, "reports", 0, BELOW_TWO_POW_64, out.reports) &&
           real(d, "noise_floor_dbm", DBM_MIN, DBM_MAX, out.noise_floor_dbm) &&
           real(d, "busy_threshold_dbm", DBM_MIN, DBM_MAX, out.busy_threshold_dbm) &&
           parse_list(member(d, "channels"), AIR_LINE_MAX_CHANNELS, out.channels, out.channel_count,
                      parse_channel) &&
           parse_list(member(d, "signals"), AIR_LINE_MAX_SIGNALS, out.signals, out.signal_count,
                      parse_signal);
}

int air_line_worst_quality(const AirLine &line)
{
    int worst = 100;
    for (size_t i = 0; i < line.channel_count && i < AIR_LINE_MAX_CHANNELS; i++)
        worst = line.channels[i].quality < worst ? line.channels[i].quality : worst;
    return worst;
}
