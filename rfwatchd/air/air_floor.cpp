// SPDX-License-Identifier: MIT
#include "air/air_floor.h"

#include <cstdint>
#include <cstring>

namespace
{

// Half-dB buckets from the report's lowest level up: 32 dB, more than any
// noise spreads, so the wanted rank lies inside; higher levels share the
// top bucket. Within the wanted bucket the level comes from the bins
// themselves, so a flat spectrum gives its own level.
constexpr float BUCKETS_PER_DB = 2.0f;
constexpr int BUCKETS = 64;
// Counted in four histograms in turn, so that bins of one level (a flat
// floor) do not wait on each other's increments.
constexpr size_t WAYS = 4;
constexpr size_t SAMPLES = 64;
// Per percentile taken. Falling: half the way each report, compounded
// over the reports between two. Rising: 0.02 a report compounded would
// settle the floor higher in the noise (fewer, larger steps up against
// falls that already go the whole way); 0.05 keeps it where it settled
// when every report was taken (within 0.05 dB on log-Rayleigh noise), and
// still rises within about 160 reports.
constexpr float FALL = 1.0f - 1.0f / (1u << AIR_FLOOR_EVERY);
constexpr float RISE = 0.05f;
constexpr float HUGE_DBM = 1e30f;

int bucket(float dbm, float lowest)
{
    // Written as min and max so that it compiles without branches.
    float x = (dbm - lowest) * BUCKETS_PER_DB;
    x = x > 0 ? x : 0; // also takes NaN to 0
    x = x < BUCKETS - 1 ? x : BUCKETS - 1;
    return static_cast<int>(x);
}

// Every stride-th bin, at most SAMPLES of them (a percentile of 64 spread
// bins is as good a floor, at an eighth of the cost for 512), and their
// least. Returns how many, a multiple of WAYS.
size_t take_samples(const float *dbm, size_t bins, float *sample, float &lowest)
{
    const size_t stride = bins > SAMPLES ? bins / SAMPLES : 1;
    const size_t n = (bins / stride) & ~(WAYS - 1);
    for (size_t k = 0; k < n; ++k)
        sample[k] = dbm[k * stride];
    // Four running minima, which do not wait on each other.
    float least[WAYS] = {HUGE_DBM, HUGE_DBM, HUGE_DBM, HUGE_DBM};
    for (size_t k = 0; k < n; k += WAYS)
        for (size_t w = 0; w < WAYS; ++w)
            least[w] = sample[k + w] < least[w] ? sample[k + w] : least[w];
    lowest = least[0];
    for (float l : least)
        lowest = l < lowest ? l : lowest;
    return n;
}

struct Rank {
    int bucket;
    size_t below;     // samples in lower buckets
    size_t in_bucket; // samples in it
};

// The bucket in which the want-th smallest sample lies.
Rank find_rank(const uint8_t *index, size_t n, size_t want)
{
    uint8_t ways[WAYS][BUCKETS];
    memset(ways, 0, sizeof ways);
    for (size_t k = 0; k < n; k += WAYS)
        for (size_t w = 0; w < WAYS; ++w)
            ways[w][index[k + w]]++;
    Rank r{0, 0, 0};
    for (;; ++r.bucket) {
        const int i = r.bucket;
        r.in_bucket = size_t{ways[0][i]} + ways[1][i] + ways[2][i] + ways[3][i];
        if (i == BUCKETS - 1 || r.below + r.in_bucket >= want)
            return r;
        r.below += r.in_bucket;
    }
}

// The least and greatest sample in bucket i.
void bucket_extremes(const uint8_t *index, const float *sample, size_t n, int i, float &lo,
                     float &hi)
{
    float lows[WAYS] = {HUGE_DBM, HUGE_DBM, HUGE_DBM, HUGE_DBM};
    float highs[WAYS] = {-HUGE_DBM, -HUGE_DBM, -HUGE_DBM, -HUGE_DBM};
    for (size_t k = 0; k < n; k += WAYS)
        for (size_t w = 0; w < WAYS; ++w) {
            const bool in = index[k + w] == i;
            const float d = sample[k + w];
            lows[w] = in && d < lows[w] ? d : lows[w];
            highs[w] = in && d > highs[w] ? d : highs[w];
        }
    lo = lows[0];
    hi = highs[0];
    for (size_t w = 1; w < WAYS; ++w) {
        lo = lows[w] < lo ? lows[w] : lo;
        hi = highs[w] > hi ? highs[w] : hi;
    }
}

} // namespace

float air_floor_percentile(const float *dbm, size_t bins)
{
    float sample[2 * SAMPLES];
    float lowest = 0;
    const size_t n = take_samples(dbm, bins, sample, lowest);
    if (n == 0)
        return bins ? dbm[0] : 0;
    // Buckets in a pass of their own, which the compiler vectorises.
    uint8_t index[2 * SAMPLES];
    for (size_t k = 0; k < n; ++k)
        index[k] = static_cast<uint8_t>(bucket(sample[k], lowest));
    const size_t want = (n * AIR_FLOOR_PERCENTILE + 99) / 100;
    const Rank r = find_rank(index, n, want);
    float lo = 0, hi = 0;
    bucket_extremes(index, sample, n, r.bucket, lo, hi);
    if (r.in_bucket < 2 || !(hi >= lo))
        return lo < HUGE_DBM ? lo : lowest;
    // Between its least and greatest by rank.
    const float rank = static_cast<float>(want - r.below - 1) / static_cast<float>(r.in_bucket - 1);
    return lo + (hi - lo) * rank;
}

float air_floor_report(const float *dbm, size_t n)
{
    // In lanes that do not wait on each other.
    constexpr size_t LANES = 8;
    float lane[LANES];
    for (float &l : lane)
        l = n ? dbm[0] : 0.0f;
    size_t j = 0;
    for (; j + LANES <= n; j += LANES)
        for (size_t k = 0; k < LANES; ++k)
            lane[k] = dbm[j + k] > lane[k] ? dbm[j + k] : lane[k];
    float peak = lane[0];
    for (; j < n; ++j)
        peak = dbm[j] > peak ? dbm[j] : peak;
    for (float l : lane)
        peak = l > peak ? l : peak;
    const float floor = air_floor_percentile(dbm, n);
    return floor > peak - AIR_FLOOR_RANGE_DB ? floor : peak - AIR_FLOOR_RANGE_DB;
}

float air_floor_track(float floor, float report_floor)
{
    return floor + (report_floor - floor) * (report_floor < floor ? FALL : RISE);
}

float air_floor_next(float floor, uint64_t reports_before, const float *dbm, size_t bins)
{
    if (reports_before % AIR_FLOOR_EVERY != 0)
        return floor;
    const float report_floor = air_floor_report(dbm, bins);
    return reports_before == 0 ? report_floor : air_floor_track(floor, report_floor);
}
