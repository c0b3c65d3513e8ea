// SPDX-License-Identifier: MIT
#include "capture_reference.h"

#include <algorithm>
#include <cjson/cJSON.h>
#include <cmath>
#include <cstdio>

namespace wdtest
{

std::string reference_bin_text(float value)
{
    // JSON has no number for NaN or the infinities.
    if (!std::isfinite(value))
        return "null";
    char text[64]; // FLT_MAX has 39 digits before the point
    snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

char *reference_sample_to_json(const SpectralSample &sample, uint32_t count)
{
    cJSON *object = cJSON_CreateObject();
    if (object == nullptr)
        return nullptr;
    cJSON_AddNumberToObject(object, "detector", sample.detector);
    cJSON_AddNumberToObject(object, "freq_mhz", sample.freq_mhz);
    cJSON_AddNumberToObject(object, "bandwidth_mhz", sample.bandwidth_mhz);
    cJSON_AddNumberToObject(object, "noise_dbm", sample.noise_dbm);
    cJSON_AddNumberToObject(object, "rssi", sample.rssi);
    // Every digit of the 64-bit timestamp, and the count of bins listed.
    cJSON_AddRawToObject(object, "timestamp", std::to_string(sample.timestamp).c_str());
    cJSON_AddNumberToObject(object, "num_aggregated", count);
    cJSON_AddNumberToObject(object, "bin_count",
                            static_cast<double>(std::min(sample.bin_count, MAX_SPECTRAL_BINS)));
    cJSON *bins = cJSON_CreateArray();
    if (bins == nullptr) {
        cJSON_Delete(object);
        return nullptr;
    }
    size_t n = std::min(sample.bin_count, MAX_SPECTRAL_BINS);
    for (size_t j = 0; j < n; ++j) {
        cJSON *item = cJSON_CreateRaw(reference_bin_text(sample.bins[j]).c_str());
        if (item == nullptr) {
            cJSON_Delete(bins);
            cJSON_Delete(object);
            return nullptr;
        }
        // An item that was not added is not the array's to free.
        if (!cJSON_AddItemToArray(bins, item)) {
            cJSON_Delete(item);
            cJSON_Delete(bins);
            cJSON_Delete(object);
            return nullptr;
        }
    }
    if (!cJSON_AddItemToObject(object, "bins", bins)) {
        cJSON_Delete(bins);
        cJSON_Delete(object);
        return nullptr;
    }
    char *line = cJSON_PrintUnformatted(object);
    cJSON_Delete(object);
    return line;
}

void reference_ath11k_bins(const uint8_t *report, size_t bin_count, float *out)
{
    uint8_t type = report[0];
    uint8_t exponent = report[5];
    uint8_t gain = report[6];
    uint8_t subtrahend = report[7];
    uint8_t base = report[8];
    auto rssi = static_cast<uint16_t>((report[18] << 8) | report[19]);
    const uint8_t *bytes = report + 28;

    float x = 0.5f;
    if (gain > 61)
        x = static_cast<float>(std::max(0, 23 - std::max(0, rssi - 5))) / 10.0f;
    float factor = sqrtf(powf(10.0f, x));
    auto power = static_cast<int32_t>(uint32_t{1} << (exponent % 32u));
    float scale = static_cast<float>(power);

    float magnitude[MAX_SPECTRAL_BINS];
    float energy = 0.0f;
    for (size_t j = 0; j < bin_count; ++j) {
        magnitude[j] = static_cast<float>(bytes[j]) * factor * scale;
        energy += magnitude[j] * magnitude[j];
    }
    float offset = 0.0f;
    if (type == 4) {
        if (energy > 0.0f)
            offset = static_cast<float>(rssi) - 10.0f * log10f(energy) + 10.0f;
    } else {
        offset = static_cast<float>(base - subtrahend - gain + 10);
    }
    for (size_t j = 0; j < bin_count; ++j)
        out[j] = magnitude[j] > 0.0f ? 20.0f * log10f(magnitude[j]) + offset - 109.0f : -109.0f;
}

void reference_ath11k_bins_double(const uint8_t *report, size_t bin_count, double *out)
{
    uint8_t type = report[0];
    uint8_t exponent = report[5];
    uint8_t gain = report[6];
    uint8_t subtrahend = report[7];
    uint8_t base = report[8];
    int rssi = (report[18] << 8) | report[19];
    const uint8_t *bytes = report + 28;

    double x = 0.5;
    if (gain > 61)
        x = std::max(0, 23 - std::max(0, rssi - 5)) / 10.0;
    double factor = std::sqrt(std::pow(10.0, x));
    auto power = static_cast<int32_t>(uint32_t{1} << (exponent % 32u));

    double magnitude[MAX_SPECTRAL_BINS];
    double energy = 0.0;
    for (size_t j = 0; j < bin_count; ++j) {
        magnitude[j] = bytes[j] * factor * power;
        energy += magnitude[j] * magnitude[j];
    }
    double offset = 0.0;
    if (type == 4) {
        if (energy > 0.0)
            offset = rssi - 10.0 * std::log10(energy) + 10.0;
    } else {
        offset = base - subtrahend - gain + 10;
    }
    for (size_t j = 0; j < bin_count; ++j)
        out[j] = magnitude[j] > 0.0 ? 20.0 * std::log10(magnitude[j]) + offset - 109.0 : -109.0;
}

} // namespace wdtest
