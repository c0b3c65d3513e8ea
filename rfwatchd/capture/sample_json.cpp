// The JSON sample message: one unformatted object per aggregated frequency.
#include "capture/bin_text.h"
#include "capture/sample_aggregate.h"

#include <cjson/cJSON.h>

char *sample_to_json(const SpectralSample &sample, uint32_t count)
{
    cJSON *object = cJSON_CreateObject();
    if (object == nullptr)
        return nullptr;
    cJSON_AddNumberToObject(object, "detector", sample.detector);
    cJSON_AddNumberToObject(object, "freq_mhz", sample.freq_mhz);
    cJSON_AddNumberToObject(object, "bandwidth_mhz", sample.bandwidth_mhz);
    cJSON_AddNumberToObject(object, "noise_dbm", sample.noise_dbm);
    cJSON_AddNumberToObject(object, "rssi", sample.rssi);
    cJSON_AddNumberToObject(object, "timestamp", static_cast<double>(sample.timestamp));
    cJSON_AddNumberToObject(object, "num_aggregated", count);
    cJSON_AddNumberToObject(object, "bin_count", static_cast<double>(sample.bin_count));

    // The bins go in as one raw array text: cJSON prints an array of raw
    // items as "[" items joined by "," "]" when unformatted, so the line is
    // the same, without one item and one snprintf per bin.
    size_t n = sample.bin_count < MAX_SPECTRAL_BINS ? sample.bin_count : MAX_SPECTRAL_BINS;
    char text[MAX_SPECTRAL_BINS * (BIN_TEXT_MAX + 1) + 3];
    size_t length = format_bin_array(sample.bins, n, text);
    text[length] = '\0';
    cJSON *bins = cJSON_CreateRaw(text);
    if (bins == nullptr) {
        cJSON_Delete(object);
        return nullptr;
    }
    // On failure the item is not the object's, so it is freed here.
    if (!cJSON_AddItemToObject(object, "bins", bins)) {
        cJSON_Delete(bins);
        cJSON_Delete(object);
        return nullptr;
    }

    char *line = cJSON_PrintUnformatted(object);
    cJSON_Delete(object);
    return line;
}
