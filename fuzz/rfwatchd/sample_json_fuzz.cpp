// SPDX-License-Identifier: MIT
// sample_to_json on any sample, not only the parsers' ones: the line is JSON
// holding the sample's fields in order, and "bins" has one entry per bin
// (never more than 512), each snprintf's whole "%.2f" text of a finite value
// (so a two-decimal number) or null for NaN and the infinities.
//
// Input: detector (1 byte), freq_mhz, bandwidth_mhz, noise_dbm, rssi (2 bytes
// each), timestamp (8), count (4), bin_count (2, taken modulo 1025), then
// the bins as raw floats, repeated to fill bin_count.
#include "capture/sample_json.h"
#include "capture_reference.h"
#include "sample_checks.h"

#include <cinttypes>
#include <cstdio>

#include <algorithm>
#include <cfloat>
#include <cjson/cJSON.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace
{

constexpr size_t HEAD = 1 + 4 * 2 + 8 + 4 + 2;

template <typename T> T take(const uint8_t *&p)
{
    T v;
    memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

// Every member is exact (the timestamp is also checked as text, below).
void check_member(const cJSON *item, const char *name, double value)
{
    FUZZ_CHECK(item != nullptr && item->string != nullptr && strcmp(item->string, name) == 0);
    FUZZ_CHECK(cJSON_IsNumber(item));
    FUZZ_CHECK(std::fabs(item->valuedouble - value) <= std::fabs(value) * DBL_EPSILON);
}

// The bins as the line spells them: the raw texts between "[" and "]".
void check_bin_texts(std::string_view line, const SpectralSample &s, size_t n)
{
    constexpr std::string_view key = "\"bins\":[";
    size_t at = line.find(key);
    FUZZ_CHECK(at != std::string_view::npos);
    FUZZ_CHECK(line.size() >= 2 && line.substr(line.size() - 2) == "]}");
    std::string_view texts = line.substr(at + key.size(), line.size() - 2 - at - key.size());
    for (size_t j = 0; j < n; ++j) {
        size_t comma = j + 1 < n ? texts.find(',') : texts.size();
        FUZZ_CHECK(comma != std::string_view::npos);
        std::string_view text = texts.substr(0, comma);
        FUZZ_CHECK(text == wdtest::reference_bin_text(s.bins[j]));
        if (std::isfinite(s.bins[j]))
            FUZZ_CHECK(wdfuzz::is_two_decimal_number(text.data(), text.size()));
        texts.remove_prefix(std::min(texts.size(), comma + 1));
    }
    FUZZ_CHECK(texts.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HEAD)
        return 0;
    static SpectralSample s;
    memset(&s, 0, sizeof s);
    const uint8_t *p = data;
    s.detector = take<uint8_t>(p);
    s.freq_mhz = take<uint16_t>(p);
    s.bandwidth_mhz = take<uint16_t>(p);
    s.noise_dbm = take<int16_t>(p);
    s.rssi = take<uint16_t>(p);
    s.timestamp = take<uint64_t>(p);
    auto count = take<uint32_t>(p);
    s.bin_count = take<uint16_t>(p) % 1025;
    size_t given = (size - HEAD) / sizeof(float);
    size_t n = std::min(s.bin_count, MAX_SPECTRAL_BINS);
    for (size_t j = 0; j < n && given > 0; ++j)
        memcpy(&s.bins[j], p + (j % given) * sizeof(float), sizeof(float));

    char *line = sample_to_json(s, count);
    FUZZ_CHECK(line != nullptr);
    check_bin_texts(line, s, n);

    cJSON *doc = cJSON_Parse(line);
    FUZZ_CHECK(doc != nullptr);
    const cJSON *m = doc->child;
    check_member(m, "detector", s.detector);
    check_member(m = m->next, "freq_mhz", s.freq_mhz);
    check_member(m = m->next, "bandwidth_mhz", s.bandwidth_mhz);
    check_member(m = m->next, "noise_dbm", s.noise_dbm);
    check_member(m = m->next, "rssi", s.rssi);
    check_member(m = m->next, "timestamp", static_cast<double>(s.timestamp));
    // Every digit of the 64-bit timestamp, which a double cannot hold.
    char timestamp[40];
    snprintf(timestamp, sizeof timestamp, "\"timestamp\":%" PRIu64 ",", s.timestamp);
    FUZZ_CHECK(strstr(line, timestamp) != nullptr);
    check_member(m = m->next, "num_aggregated", count);
    check_member(m = m->next, "bin_count", static_cast<double>(n)); // the bins it holds
    m = m->next;
    FUZZ_CHECK(m != nullptr && strcmp(m->string, "bins") == 0 && cJSON_IsArray(m));
    FUZZ_CHECK(m->next == nullptr);
    FUZZ_CHECK(static_cast<size_t>(cJSON_GetArraySize(m)) == n);
    size_t j = 0;
    for (const cJSON *b = m->child; b != nullptr; b = b->next, ++j) {
        if (std::isfinite(s.bins[j]))
            FUZZ_CHECK(cJSON_IsNumber(b) &&
                       b->valuedouble ==
                           strtod(wdtest::reference_bin_text(s.bins[j]).c_str(), nullptr));
        else
            FUZZ_CHECK(cJSON_IsNull(b));
    }
    cJSON_Delete(doc);
    cJSON_free(line);
    return 0;
}
