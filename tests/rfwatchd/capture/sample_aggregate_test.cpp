// SPDX-License-Identifier: MIT
// Aggregation by centre frequency: slots, merges and flushes.
#include "aggregate_difference.h"
#include "capture/sample_aggregate.h"
#include "test_clock.h"

#include <cjson/cJSON.h>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

using wdtest::aggregate_difference;

namespace
{

SpectralSample make(uint16_t freq, float level, uint8_t detector = 0, size_t bins = 4,
                    uint16_t bandwidth = 20)
{
    SpectralSample s;
    memset(&s, 0, sizeof s);
    s.detector = detector;
    s.freq_mhz = freq;
    s.bandwidth_mhz = bandwidth;
    s.noise_dbm = -100;
    s.rssi = 10;
    s.bin_count = bins;
    for (size_t j = 0; j < bins; ++j)
        s.bins[j] = level;
    return s;
}

struct Aggregates {
    SampleAggregate pair[2];
};

std::unique_ptr<Aggregates> fresh(uint32_t period_ms = 100, uint64_t last_flush_ms = 0)
{
    auto a = std::make_unique<Aggregates>();
    memset(a.get(), 0, sizeof *a);
    for (SampleAggregate &g : a->pair) {
        g.period_ms = period_ms;
        g.last_flush_ms = last_flush_ms;
    }
    return a;
}

struct Lines {
    std::vector<std::string> texts;
    size_t stop_after = SIZE_MAX;
};

bool collect(void *context, char *text)
{
    auto *lines = static_cast<Lines *>(context);
    lines->texts.push_back(text ? text : "(null)");
    cJSON_free(text);
    return lines->texts.size() < lines->stop_after;
}

uint64_t clock_ms()
{
    return wdtest::test_clock_now();
}

// A consumer whose every line takes 7 ms, as a slow client's would.
bool collect_slowly(void *context, char *text)
{
    wdtest::test_clock_advance(7);
    return collect(context, text);
}

int field(const std::string &line, const char *key)
{
    size_t at = line.find(std::string("\"") + key + "\":");
    return at == std::string::npos ? -99999 : std::stoi(line.substr(at + strlen(key) + 3));
}

bool slots_all_zero(const SampleAggregate &g)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(g.slots);
    for (size_t i = 0; i < sizeof g.slots; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// A sample over a few frequencies and both detectors whose width or bin
// count changes now and then (each change replaces a slot's sample).
SpectralSample random_sample(std::mt19937 &rng, uint64_t timestamp)
{
    static constexpr uint16_t FREQS[] = {5180, 5200, 5220, 5240, 5260};
    SpectralSample s = make(FREQS[rng() % 5], 0.0f, static_cast<uint8_t>(rng() % 2),
                            rng() % 8 == 0 ? 8 : 4, rng() % 8 == 0 ? 40 : 20);
    std::uniform_real_distribution<float> dbm(-109.0f, -20.0f);
    for (size_t j = 0; j < s.bin_count; ++j)
        s.bins[j] = dbm(rng);
    s.noise_dbm = static_cast<int16_t>(-100 + static_cast<int>(rng() % 20));
    s.rssi = static_cast<uint16_t>(rng() % 60);
    s.timestamp = timestamp;
    return s;
}

} // namespace

TEST(AggregateSlots, NewFrequenciesTakeSlotsInArrivalOrderAndRepeatsFindTheirs)
{
    auto a = fresh();
    SampleAggregate &g = a->pair[0];
    EXPECT_EQ(aggregate_find_slot(g, 5180), 0u);
    aggregate_add_sample(a->pair, make(5180, -80));
    aggregate_add_sample(a->pair, make(5200, -80));
    aggregate_add_sample(a->pair, make(5180, -70));
    EXPECT_EQ(g.slots_used, 2u);
    EXPECT_EQ(aggregate_find_slot(g, 5180), 0u);
    EXPECT_EQ(aggregate_find_slot(g, 5200), 1u);
    EXPECT_EQ(aggregate_find_slot(g, 5220), 2u);
    EXPECT_EQ(g.slots[0].count, 2u);
    EXPECT_EQ(g.slots[1].count, 1u);
}

TEST(AggregateSlots, DetectorSelectsTheAggregateAndDetectorsAbove1AreDropped)
{
    auto a = fresh();
    aggregate_add_sample(a->pair, make(5180, -80, 0));
    aggregate_add_sample(a->pair, make(5180, -80, 1));
    aggregate_add_sample(a->pair, make(5180, -80, 2));
    aggregate_add_sample(a->pair, make(5180, -80, 255));
    EXPECT_EQ(a->pair[0].slots_used, 1u);
    EXPECT_EQ(a->pair[1].slots_used, 1u);
    EXPECT_EQ(a->pair[0].slots[0].count, 1u);
    EXPECT_EQ(a->pair[1].slots[0].count, 1u);
}

TEST(AggregateSlots, Slot511AbsorbsEveryFrequencyBeyond512)
{
    auto a = fresh();
    SampleAggregate &g = a->pair[0];
    for (uint16_t f = 0; f < 512; ++f)
        aggregate_add_sample(a->pair, make(static_cast<uint16_t>(1000 + f), -90));
    EXPECT_EQ(g.slots_used, 512u);
    EXPECT_EQ(aggregate_find_slot(g, 9999), 511u);

    // Same width and bins: max-merged under slot 511's own frequency.
    aggregate_add_sample(a->pair, make(9999, -50));
    EXPECT_EQ(g.slots_used, 512u);
    EXPECT_EQ(g.slots[511].sample.freq_mhz, 1511);
    EXPECT_EQ(g.slots[511].sample.bins[0], -50.0f);
    EXPECT_EQ(g.slots[511].count, 2u);

    // Another width: replaces the slot's sample, frequency included.
    aggregate_add_sample(a->pair, make(8888, -60, 0, 4, 40));
    EXPECT_EQ(g.slots[511].sample.freq_mhz, 8888);
    EXPECT_EQ(g.slots[511].sample.bandwidth_mhz, 40);
    EXPECT_EQ(g.slots[511].count, 3u);
    EXPECT_EQ(g.slots_used, 512u);

    // A flush of the full aggregate leaves every slot as new.
    Lines lines;
    EXPECT_TRUE(aggregate_flush(g, g.last_flush_ms + 100, collect, &lines));
    EXPECT_EQ(lines.texts.size(), 512u);
    EXPECT_EQ(g.slots_used, 0u);
    EXPECT_TRUE(slots_all_zero(g));
}

TEST(AggregateMerge, SameShapeKeepsMaximaAndTheNewestTimestamp)
{
    SpectralSample into = make(5180, -80);
    into.bins[1] = -10.0f;
    into.noise_dbm = -90;
    into.rssi = 5;
    into.timestamp = 100;
    SpectralSample s = make(5180, -70);
    s.bins[2] = -200.0f;
    s.bins[3] = -80.0f; // equal to into's
    s.noise_dbm = -95;
    s.rssi = 40;
    s.timestamp = 50;
    s.detector = 1;
    aggregate_merge(into, s);
    EXPECT_EQ(into.bins[0], -70.0f);
    EXPECT_EQ(into.bins[1], -10.0f);
    EXPECT_EQ(into.bins[2], -80.0f);
    EXPECT_EQ(into.bins[3], -80.0f);
    EXPECT_EQ(into.noise_dbm, -90);
    EXPECT_EQ(into.rssi, 40);
    EXPECT_EQ(into.timestamp, 50u);
    EXPECT_EQ(into.detector, 0);

    // Signed noise, unsigned rssi.
    into.noise_dbm = -5;
    s.noise_dbm = 3;
    into.rssi = 0xff00;
    s.rssi = 7;
    aggregate_merge(into, s);
    EXPECT_EQ(into.noise_dbm, 3);
    EXPECT_EQ(into.rssi, 0xff00);
}

TEST(AggregateMerge, DifferentWidthOrBinCountReplacesEverything)
{
    for (int variant = 0; variant < 2; ++variant) {
        SpectralSample into = make(5180, -20);
        SpectralSample s = variant == 0 ? make(5190, -90, 1, 4, 40) : make(5190, -90, 1, 8, 20);
        aggregate_merge(into, s);
        EXPECT_EQ(memcmp(&into, &s, sizeof s), 0) << variant;
    }
}

TEST(AggregateFlush, ThreeSamplesOfOneFrequencyGiveOneMessage)
{
    auto a = fresh(100, clock_ms());
    SpectralSample s1 = make(2437, -80), s2 = make(2437, -90), s3 = make(2437, -85);
    s1.bins[0] = -20.0f;
    s2.bins[1] = -30.0f;
    s2.noise_dbm = -92;
    s3.rssi = 33;
    s1.timestamp = 1;
    s2.timestamp = 2;
    s3.timestamp = 3;
    for (const SpectralSample *s : {&s1, &s2, &s3})
        aggregate_add_sample(a->pair, *s);
    Lines lines;
    ASSERT_TRUE(aggregate_flush(a->pair[0], a->pair[0].last_flush_ms + 100, collect, &lines));
    ASSERT_EQ(lines.texts.size(), 1u);
    EXPECT_EQ(lines.texts[0],
              "{\"detector\":0,\"freq_mhz\":2437,\"bandwidth_mhz\":20,\"noise_dbm\":-92,"
              "\"rssi\":33,\"timestamp\":3,\"num_aggregated\":3,\"bin_count\":4,"
              "\"bins\":[-20.00,-30.00,-80.00,-80.00]}");
}

TEST(AggregateFlush, NotDueBeforeThePeriodAndClearsAfterwards)
{
    uint64_t start = clock_ms();
    auto a = fresh(1000, start);
    SampleAggregate &g = a->pair[0];
    aggregate_add_sample(a->pair, make(5180, -80));
    aggregate_add_sample(a->pair, make(5200, -80));
    aggregate_add_sample(a->pair, make(5180, -80));
    aggregate_add_sample(a->pair, make(5200, -80));
    Lines lines;
    EXPECT_TRUE(aggregate_flush(g, start + 999, collect, &lines));
    EXPECT_TRUE(lines.texts.empty());
    EXPECT_EQ(g.slots_used, 2u);

    wdtest::test_clock_advance(1000);
    EXPECT_TRUE(aggregate_flush(g, start + 1000, collect_slowly, &lines));
    ASSERT_EQ(lines.texts.size(), 2u);
    EXPECT_EQ(field(lines.texts[0], "freq_mhz"), 5180);
    EXPECT_EQ(field(lines.texts[1], "freq_mhz"), 5200);
    EXPECT_EQ(field(lines.texts[1], "num_aggregated"), 2);
    EXPECT_EQ(g.slots_used, 0u);
    EXPECT_TRUE(slots_all_zero(g));
    // The new window starts at the clock's time after the emission, not at
    // the time the flush was asked for.
    EXPECT_EQ(g.last_flush_ms, start + 1000 + 2 * 7);

    // A freed slot takes the next sample in whole.
    aggregate_add_sample(a->pair, make(5200, -100));
    EXPECT_EQ(g.slots[0].sample.freq_mhz, 5200);
    EXPECT_EQ(g.slots[0].sample.bins[0], -100.0f);
}

TEST(AggregateFlush, EmptyPeriodOnlyMovesTheWindow)
{
    auto a = fresh(100, 0);
    Lines lines;
    EXPECT_TRUE(aggregate_flush(a->pair[0], 50, collect, &lines));
    EXPECT_EQ(a->pair[0].last_flush_ms, 0u);
    EXPECT_TRUE(aggregate_flush(a->pair[0], 150, collect, &lines));
    EXPECT_EQ(a->pair[0].last_flush_ms, 150u);
    EXPECT_TRUE(lines.texts.empty());
}

TEST(AggregateFlush, ConsumerThatStopsLeavesTheAggregateAsItIs)
{
    auto a = fresh(100, 0);
    for (uint16_t f = 1; f <= 3; ++f)
        aggregate_add_sample(a->pair, make(f, -80));
    Lines lines;
    lines.stop_after = 1;
    EXPECT_FALSE(aggregate_flush(a->pair[0], 100, collect, &lines));
    EXPECT_EQ(lines.texts.size(), 1u);
    EXPECT_EQ(a->pair[0].slots_used, 3u);
    EXPECT_EQ(a->pair[0].last_flush_ms, 0u);
}

TEST(AggregateFlush, DetectorsFlushSeparately)
{
    auto a = fresh(100, 0);
    aggregate_add_sample(a->pair, make(5500, -80, 1));
    aggregate_add_sample(a->pair, make(5500, -70, 0));
    Lines lines;
    aggregate_flush(a->pair[0], 100, collect, &lines);
    aggregate_flush(a->pair[1], 100, collect, &lines);
    ASSERT_EQ(lines.texts.size(), 2u);
    EXPECT_EQ(field(lines.texts[0], "detector"), 0);
    EXPECT_EQ(field(lines.texts[1], "detector"), 1);
}

// The frequency index: whatever the spacing of the centres (so whatever
// their collisions in the index), each finds the slot it took, and a flush
// forgets them all.
TEST(AggregateSlots, EveryFrequencyFindsItsOwnSlotWhateverItsSpacing)
{
    for (uint32_t stride : {1u, 5u, 20u, 64u, 128u, 40503u}) {
        auto a = fresh();
        SampleAggregate &g = a->pair[0];
        auto freq = [stride](uint32_t k) { return static_cast<uint16_t>(1000 + k * stride); };
        for (uint32_t k = 0; k < 512; ++k)
            aggregate_add_sample(a->pair, make(freq(k), -90));
        ASSERT_EQ(g.slots_used, 512u) << stride;
        for (uint32_t k = 0; k < 512; ++k) {
            ASSERT_EQ(aggregate_find_slot(g, freq(k)), k) << stride;
            aggregate_add_sample(a->pair, make(freq(k), -80));
            ASSERT_EQ(g.slots[k].count, 2u) << stride << " " << k;
        }

        Lines lines;
        ASSERT_TRUE(aggregate_flush(g, g.last_flush_ms + 100, collect, &lines));
        // Taken again in the opposite order: the old places are gone.
        for (uint32_t k = 0; k < 64; ++k)
            aggregate_add_sample(a->pair, make(freq(63 - k), -90));
        EXPECT_EQ(g.slots_used, 64u);
        for (uint32_t k = 0; k < 64; ++k)
            EXPECT_EQ(aggregate_find_slot(g, freq(63 - k)), k) << stride;
        EXPECT_EQ(aggregate_find_slot(g, freq(100)), 64u) << stride;
    }
}

TEST(AggregateSlots, RoomCountsTheFreeSlotsLastOneIncluded)
{
    auto a = fresh();
    SampleAggregate &g = a->pair[0];
    EXPECT_TRUE(aggregate_has_room(g, 512));
    EXPECT_FALSE(aggregate_has_room(g, 513));
    for (uint16_t f = 0; f < 500; ++f)
        aggregate_add_sample(a->pair, make(static_cast<uint16_t>(1000 + f), -90));
    EXPECT_TRUE(aggregate_has_room(g, 12));
    EXPECT_FALSE(aggregate_has_room(g, 13));
}

// Random streams folded through a pool give the aggregate exactly what
// adding each sample gives it, whatever it held before: maxima, counts,
// the newest timestamp, and replacement wherever a width or bin count
// changed (before the stream, inside it, or both).
TEST(AggregateFold, GivesWhatAddingEachSampleInTurnGives)
{
    std::mt19937 rng(3);
    uint64_t timestamp = 0;
    // Allocated once: three fresh pairs a round would clear 6 MB each time.
    auto direct = fresh(), folded = fresh(), pool = fresh();
    for (int round = 0; round < 500; ++round) {
        for (auto *pair : {direct.get(), folded.get(), pool.get()})
            for (SampleAggregate &g : pair->pair)
                aggregate_clear(g);
        for (unsigned i = rng() % 8; i > 0; --i) {
            SpectralSample s = random_sample(rng, ++timestamp);
            aggregate_add_sample(direct->pair, s);
            aggregate_add_sample(folded->pair, s);
        }
        for (unsigned i = 1 + rng() % 30; i > 0; --i) {
            SpectralSample s = random_sample(rng, ++timestamp);
            aggregate_add_sample(direct->pair, s);
            aggregate_add_sample(pool->pair, s);
        }
        for (size_t d = 0; d < 2; ++d) {
            aggregate_fold(folded->pair[d], pool->pair[d]);
            ASSERT_EQ(aggregate_difference(direct->pair[d], folded->pair[d]), "")
                << "round " << round << " detector " << d;
        }
    }
}

TEST(AggregateFold, ClearingThePoolEmptiesItAndKeepsItsWindow)
{
    auto pool = fresh(250, 77);
    SampleAggregate &g = pool->pair[0];
    aggregate_add_sample(pool->pair, make(5180, -80));
    aggregate_add_sample(pool->pair, make(5200, -80));
    aggregate_clear(g);
    EXPECT_EQ(g.slots_used, 0u);
    EXPECT_TRUE(slots_all_zero(g));
    EXPECT_EQ(g.period_ms, 250u);
    EXPECT_EQ(g.last_flush_ms, 77u);
    aggregate_add_sample(pool->pair, make(5200, -80));
    EXPECT_EQ(aggregate_find_slot(g, 5200), 0u);
    EXPECT_EQ(aggregate_find_slot(g, 5180), 1u);
}
