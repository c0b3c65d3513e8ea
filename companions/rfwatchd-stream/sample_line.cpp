// SPDX-License-Identifier: MIT
#include "sample_line.h"

#include <cJSON.h>
#include <cmath>
#include <memory>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// A field whose value does not fit its type is refused, not cut.
template <typename T> bool whole(const cJSON *line, const char *key, double min, double max, T &out)
{
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(line, key);
    if (!cJSON_IsNumber(item))
        return false;
    const double v = item->valuedouble;
    if (!(v >= min && v <= max) || std::floor(v) != v)
        return false;
    out = static_cast<T>(v);
    return true;
}

// 2^64 itself does not fit; every double below it is a whole u64.
constexpr double BELOW_TWO_POW_64 = 18446744073709549568.0;

// Everything after the value must be blank: "{...}{...}" is not one line.
bool only_blank(const char *from, const char *end)
{
    for (; from < end; from++)
        if (*from != ' ' && *from != '\t' && *from != '\r' && *from != '\n')
            return false;
    return true;
}

} // namespace

bool parse_spectrum_line(std::string_view line, SpectrumLine &out)
{
    const char *end = nullptr;
    JsonPtr doc(cJSON_ParseWithLengthOpts(line.data(), line.size(), &end, false), cJSON_Delete);
    const cJSON *d = doc.get();
    if (!d || !cJSON_IsObject(d) || !only_blank(end, line.data() + line.size()))
        return false;
    if (!whole(d, "detector", 0, 255, out.detector) ||
        !whole(d, "freq_mhz", 0, 65535, out.freq_mhz) ||
        !whole(d, "bandwidth_mhz", 0, 65535, out.bandwidth_mhz) ||
        !whole(d, "noise_dbm", -32768, 32767, out.noise_dbm) ||
        !whole(d, "rssi", 0, 65535, out.rssi) ||
        !whole(d, "timestamp", 0, BELOW_TWO_POW_64, out.timestamp) ||
        !whole(d, "num_aggregated", 0, 4294967295.0, out.num_aggregated))
        return false;
    // The array's length decides; bin_count need only be a count.
    const cJSON *count = cJSON_GetObjectItemCaseSensitive(d, "bin_count");
    if (!cJSON_IsNumber(count) || count->valuedouble < 0)
        return false;
    const cJSON *bins = cJSON_GetObjectItemCaseSensitive(d, "bins");
    if (!cJSON_IsArray(bins))
        return false;
    out.n = 0;
    for (const cJSON *b = bins->child; b != nullptr; b = b->next) {
        if (out.n == LINE_MAX_BINS)
            return false;
        // The daemon writes null for a value JSON cannot hold.
        if (cJSON_IsNull(b))
            out.bins[out.n++] = NAN;
        else if (cJSON_IsNumber(b))
            out.bins[out.n++] = b->valuedouble;
        else
            return false;
    }
    return out.n > 0;
}
