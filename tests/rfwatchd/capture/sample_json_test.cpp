// SPDX-License-Identifier: MIT
// The JSON sample message: the exact line, and the fast construction
// against the one-raw-item-per-bin reference over many samples.
#include "capture/bin_text.h"
#include "capture/sample_json.h"
#include "capture_reference.h"

#include <bit>
#include <cfloat>
#include <cjson/cJSON.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace wdtest;

namespace
{

std::string take(char *text)
{
    std::string s = text ? text : "(null)";
    cJSON_free(text);
    return s;
}

std::string printf_text(float v)
{
    return reference_bin_text(v);
}

std::string fast_text(float v)
{
    char buffer[BIN_TEXT_MAX + 1];
    size_t n = format_bin_text(v, buffer);
    return std::string(buffer, n);
}

// Values where a formatter goes wrong: signs of zero, ties and near-ties at
// the second decimal, carries into the integer part, the bounds of the
// fast path, and magnitudes that fill or overflow the 30-byte text.
std::vector<float> edge_values()
{
    std::vector<float> v = {
        0.0f,      -0.0f,      -109.0f,   -108.995f, -87.25f, 0.005f,       -0.005f,    0.004999f,
        0.125f,    0.375f,     -0.625f,   2.675f,    1.005f,  -1.015f,      9.995f,     99.995f,
        -999.995f, 0.994999f,  1e-10f,    -1e-10f,   FLT_MIN, -FLT_MIN,     1e-45f,     255.0f,
        65535.0f,  123456.78f, 1e10f,     -1e10f,    4.5e13f, 4.503599e13f, 4.5036e13f, 1e15f,
        -1e15f,    1e20f,      1e25f,     9.99e25f,  1e26f,   -1e26f,       1e30f,      FLT_MAX,
        -FLT_MAX,  INFINITY,   -INFINITY, NAN,       -NAN};
    // Every hundredth step around the empty value and zero.
    for (int i = -11000; i <= 1000; ++i)
        v.push_back(static_cast<float>(i) / 100.0f);
    // Exact ties x.xx5 that a float can hold (multiples of 1/8).
    for (int i = -2000; i <= 2000; ++i)
        v.push_back(static_cast<float>(i) / 8.0f);
    return v;
}

// cJSON allocations of which the chosen one fails, counted so a test can
// see what is still held; the default allocator comes back on destruction.
class FailingAllocations
{
  public:
    explicit FailingAllocations(long fail_at)
    {
        state() = {fail_at, 0, 0};
        cJSON_Hooks hooks{allocate, release};
        cJSON_InitHooks(&hooks);
    }
    ~FailingAllocations() { cJSON_InitHooks(nullptr); }
    FailingAllocations(const FailingAllocations &) = delete;
    FailingAllocations &operator=(const FailingAllocations &) = delete;

    static long made() { return state().made; }
    static long held() { return state().held; }

  private:
    struct State {
        long fail_at, made, held;
    };
    static State &state()
    {
        static State s;
        return s;
    }
    static void *allocate(size_t size)
    {
        if (state().made++ == state().fail_at)
            return nullptr;
        void *p = malloc(size);
        state().held += p != nullptr;
        return p;
    }
    static void release(void *p)
    {
        state().held -= p != nullptr;
        free(p);
    }
};

SpectralSample sample_with(const std::vector<float> &values, size_t offset, size_t count)
{
    SpectralSample s;
    memset(&s, 0, sizeof s);
    s.bin_count = count;
    for (size_t j = 0; j < count; ++j)
        s.bins[j] = values[(offset + j) % values.size()];
    return s;
}

} // namespace

TEST(SampleJson, ExactLineWithMembersInOrderAndOnlyBinCountBins)
{
    SpectralSample s;
    memset(&s, 0, sizeof s);
    s.detector = 1;
    s.freq_mhz = 5180;
    s.bandwidth_mhz = 20;
    s.noise_dbm = -95;
    s.rssi = 42;
    s.timestamp = 123456789;
    s.bin_count = 4;
    float bins[] = {-87.25f, -109.0f, 0.0f, -0.004f};
    memcpy(s.bins, bins, sizeof bins);
    s.bins[4] = 77.0f; // past bin_count: must not appear
    EXPECT_EQ(take(sample_to_json(s, 3)),
              "{\"detector\":1,\"freq_mhz\":5180,\"bandwidth_mhz\":20,\"noise_dbm\":-95,"
              "\"rssi\":42,\"timestamp\":123456789,\"num_aggregated\":3,\"bin_count\":4,"
              "\"bins\":[-87.25,-109.00,0.00,-0.00]}");
}

TEST(SampleJson, TimestampsAreExactAndTheBinCountIsWhatTheLineHolds)
{
    const struct {
        uint64_t timestamp;
        size_t bin_count;
        const char *timestamp_text, *bin_count_text;
        int bins;
    } cases[] = {
        {4294967295u, 4, "\"timestamp\":4294967295,", "\"bin_count\":4,", 4},
        {1000000000000000u, 8, "\"timestamp\":1000000000000000,", "\"bin_count\":8,", 8},
        {9007199254740993u, 512, "\"timestamp\":9007199254740993,", "\"bin_count\":512,", 512},
        {0xffffffffffffffffull, 600, "\"timestamp\":18446744073709551615,", "\"bin_count\":512,",
         512},
    };
    for (const auto &c : cases) {
        SpectralSample s;
        memset(&s, 0, sizeof s);
        s.timestamp = c.timestamp;
        s.bin_count = c.bin_count;
        std::string line = take(sample_to_json(s, 1));
        EXPECT_NE(line.find(c.timestamp_text), std::string::npos) << line;
        EXPECT_NE(line.find(c.bin_count_text), std::string::npos) << line;
        cJSON *doc = cJSON_Parse(line.c_str());
        ASSERT_NE(doc, nullptr) << line;
        EXPECT_EQ(cJSON_GetArraySize(cJSON_GetObjectItemCaseSensitive(doc, "bins")), c.bins);
        cJSON_Delete(doc);
    }
}

TEST(SampleJson, AFailedAllocationLeavesNothingHeld)
{
    SpectralSample s = sample_with({-87.25f, -109.0f}, 0, 16);
    long allocations;
    {
        FailingAllocations none(-1);
        cJSON_free(sample_to_json(s, 1));
        allocations = FailingAllocations::made();
        ASSERT_EQ(FailingAllocations::held(), 0);
    }
    ASSERT_GT(allocations, 0);
    std::string whole = take(sample_to_json(s, 1));
    for (long k = 0; k < allocations; ++k) {
        FailingAllocations failing(k);
        char *line = sample_to_json(s, 1);
        // The whole line or none: never one that lacks a member.
        if (line != nullptr) {
            EXPECT_EQ(std::string(line), whole) << "allocation " << k << " failed";
        }
        cJSON_free(line);
        EXPECT_EQ(FailingAllocations::held(), 0) << "allocation " << k << " failed";
    }
}

TEST(BinText, SameTextAsPrintfForEdgeValues)
{
    for (float v : edge_values())
        ASSERT_EQ(fast_text(v), printf_text(v)) << std::bit_cast<uint32_t>(v);
}

TEST(BinText, SameTextAsPrintfForRandomBitPatternsAndDecoderRange)
{
    std::mt19937 rng(12345);
    for (int i = 0; i < 500000; ++i) {
        float v = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        ASSERT_EQ(fast_text(v), printf_text(v)) << std::bit_cast<uint32_t>(v);
    }
    std::uniform_real_distribution<float> dbm(-200.0f, 300.0f);
    for (int i = 0; i < 500000; ++i) {
        float v = dbm(rng);
        ASSERT_EQ(fast_text(v), printf_text(v)) << std::bit_cast<uint32_t>(v);
    }
}

TEST(BinText, HugeMagnitudesKeepEveryDigitAndTheirDecimals)
{
    EXPECT_EQ(fast_text(FLT_MAX), "340282346638528859811704183484516925440.00");
    EXPECT_EQ(fast_text(-FLT_MAX), "-340282346638528859811704183484516925440.00");
    EXPECT_EQ(fast_text(-FLT_MAX).size(), BIN_TEXT_MAX);
    // Texts longer than 29 characters used to be cut there, losing decimals
    // or leaving a bare trailing point, which is no JSON number.
    EXPECT_EQ(fast_text(-1e25f), "-9999999562023526247432192.00");
    EXPECT_EQ(fast_text(1e26f), "100000002537764290115403776.00");
    EXPECT_EQ(fast_text(-1e26f), "-100000002537764290115403776.00");
    EXPECT_EQ(fast_text(1e30f), "1000000015047466219876688855040.00");
}

TEST(BinText, NanAndInfinitiesAreNull)
{
    for (float v : {NAN, -NAN, INFINITY, -INFINITY})
        EXPECT_EQ(fast_text(v), "null") << v;
}

TEST(SampleJson, EveryLineIsJsonWithOneEntryPerBinWhateverTheValues)
{
    const std::vector<float> values = {FLT_MAX, -FLT_MAX, 1e25f,     -1e28f,  NAN,
                                       -NAN,    INFINITY, -INFINITY, -87.25f, 1e-45f,
                                       -0.0f,   4.5e13f,  9.99e25f,  -1e30f,  255.0f,
                                       1e38f,   -109.0f,  1e20f,     -1e20f,  123456.78f};
    for (size_t offset = 0; offset < values.size(); ++offset) {
        SpectralSample s = sample_with(values, offset, 16);
        std::string line = take(sample_to_json(s, 1));
        cJSON *doc = cJSON_Parse(line.c_str());
        ASSERT_NE(doc, nullptr) << line;
        const cJSON *bins = cJSON_GetObjectItemCaseSensitive(doc, "bins");
        ASSERT_TRUE(cJSON_IsArray(bins)) << line;
        ASSERT_EQ(cJSON_GetArraySize(bins), 16) << line;
        for (int j = 0; j < 16; ++j) {
            float v = s.bins[j];
            const cJSON *item = cJSON_GetArrayItem(bins, j);
            if (std::isfinite(v)) {
                ASSERT_TRUE(cJSON_IsNumber(item)) << line;
                EXPECT_EQ(item->valuedouble, strtod(printf_text(v).c_str(), nullptr)) << line;
            } else {
                EXPECT_TRUE(cJSON_IsNull(item)) << line;
            }
        }
        cJSON_Delete(doc);
    }
}

TEST(SampleJson, ByteIdenticalToTheOneItemPerBinConstruction)
{
    std::vector<float> edges = edge_values();
    std::mt19937 rng(777);
    std::uniform_real_distribution<float> dbm(-130.0f, 40.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    const size_t counts[] = {0, 1, 4, 8, 16, 32, 64, 128, 256, 512};
    for (int round = 0; round < 600; ++round) {
        size_t count = counts[static_cast<size_t>(round) % 10];
        SpectralSample s = sample_with(edges, static_cast<size_t>(round) * 37, count);
        for (size_t j = 0; j < count; ++j) {
            if (pick(rng) < 5)
                s.bins[j] = dbm(rng);
            else if (pick(rng) == 0)
                s.bins[j] = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        }
        s.detector = static_cast<uint8_t>(rng());
        s.freq_mhz = static_cast<uint16_t>(rng());
        s.bandwidth_mhz = static_cast<uint16_t>(rng());
        s.noise_dbm = static_cast<int16_t>(rng());
        s.rssi = static_cast<uint16_t>(rng());
        s.timestamp = (uint64_t{rng()} << 32 | rng()) >> (round % 64);
        auto aggregated = static_cast<uint32_t>(rng());
        ASSERT_EQ(take(sample_to_json(s, aggregated)),
                  take(reference_sample_to_json(s, aggregated)))
            << "round " << round;
    }
}
