// SPDX-License-Identifier: MIT
// The JSON sample message: one unformatted object per aggregated frequency.
#include "capture/sample_json.h"
#include "capture/bin_text.h"

#include "base/free_ptr.h"

#include <cinttypes>
#include <cjson/cJSON.h>
#include <cstdio>

namespace
{

// A member the line cannot do without: a failed addition fails the line,
// rather than sending one that lacks it.
bool add_number(cJSON *object, const char *key, double value)
{
    return cJSON_AddNumberToObject(object, key, value) != nullptr;
}

} // namespace

char *sample_to_json(const SpectralSample &sample, uint32_t count)
{
    FreePtr<cJSON, cJSON_Delete> object(cJSON_CreateObject());
    if (object == nullptr)
        return nullptr;
    // The line says as many bins as it holds.
    size_t n = sample.bin_count < MAX_SPECTRAL_BINS ? sample.bin_count : MAX_SPECTRAL_BINS;
    // cJSON prints numbers as doubles, which hold integers exactly only up
    // to 2^53: the driver's 64-bit timestamp goes in as its decimal text.
    char timestamp[24];
    snprintf(timestamp, sizeof timestamp, "%" PRIu64, sample.timestamp);
    cJSON *o = object.get();
    bool whole =
        add_number(o, "detector", sample.detector) && add_number(o, "freq_mhz", sample.freq_mhz) &&
        add_number(o, "bandwidth_mhz", sample.bandwidth_mhz) &&
        add_number(o, "noise_dbm", sample.noise_dbm) && add_number(o, "rssi", sample.rssi) &&
        cJSON_AddRawToObject(o, "timestamp", timestamp) != nullptr &&
        add_number(o, "num_aggregated", count) &&
        add_number(o, "bin_count", static_cast<double>(n));
    if (!whole)
        return nullptr;

    // The bins go in as one raw array text: cJSON prints an array of raw
    // items as "[" items joined by "," "]" when unformatted, so the line is
    // the same, without one item and one snprintf per bin.
    char text[MAX_SPECTRAL_BINS * (BIN_TEXT_MAX + 1) + 3];
    size_t length = format_bin_array(sample.bins, n, text);
    text[length] = '\0';
    FreePtr<cJSON, cJSON_Delete> bins(cJSON_CreateRaw(text));
    if (bins == nullptr)
        return nullptr;
    // Only a successful add hands the item to the object.
    if (!cJSON_AddItemToObject(o, "bins", bins.get()))
        return nullptr;
    static_cast<void>(bins.release());
    return cJSON_PrintUnformatted(o);
}
