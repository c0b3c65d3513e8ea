// The JSON sample message: one unformatted object per aggregated frequency.
#include "capture/sample_json.h"
#include "capture/bin_text.h"

#include "base/free_ptr.h"

#include <cjson/cJSON.h>

char *sample_to_json(const SpectralSample &sample, uint32_t count)
{
    FreePtr<cJSON, cJSON_Delete> object(cJSON_CreateObject());
    if (object == nullptr)
        return nullptr;
    cJSON_AddNumberToObject(object.get(), "detector", sample.detector);
    cJSON_AddNumberToObject(object.get(), "freq_mhz", sample.freq_mhz);
    cJSON_AddNumberToObject(object.get(), "bandwidth_mhz", sample.bandwidth_mhz);
    cJSON_AddNumberToObject(object.get(), "noise_dbm", sample.noise_dbm);
    cJSON_AddNumberToObject(object.get(), "rssi", sample.rssi);
    cJSON_AddNumberToObject(object.get(), "timestamp", static_cast<double>(sample.timestamp));
    cJSON_AddNumberToObject(object.get(), "num_aggregated", count);
    cJSON_AddNumberToObject(object.get(), "bin_count", static_cast<double>(sample.bin_count));

    // The bins go in as one raw array text: cJSON prints an array of raw
    // items as "[" items joined by "," "]" when unformatted, so the line is
    // the same, without one item and one snprintf per bin.
    size_t n = sample.bin_count < MAX_SPECTRAL_BINS ? sample.bin_count : MAX_SPECTRAL_BINS;
    char text[MAX_SPECTRAL_BINS * (BIN_TEXT_MAX + 1) + 3];
    size_t length = format_bin_array(sample.bins, n, text);
    text[length] = '\0';
    FreePtr<cJSON, cJSON_Delete> bins(cJSON_CreateRaw(text));
    if (bins == nullptr)
        return nullptr;
    // Only a successful add hands the item to the object.
    if (!cJSON_AddItemToObject(object.get(), "bins", bins.get()))
        return nullptr;
    static_cast<void>(bins.release());
    return cJSON_PrintUnformatted(object.get());
}
