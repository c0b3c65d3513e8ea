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
constexpr float FALL = 0.5f;
constexpr float RISE = 0.02f;
constexpr float HUGE_DBM = 1e30f;

int bucket(float dbm, float lowest)
{
    float x = (dbm - lowest) * BUCKETS_PER_DB;
    x = x >= 0 ? x : 0; // also takes NaN to 0
    x = x > BUCKETS - 1 ? BUCKETS - 1 : x;
    return static_cast<int>(x);
}

} // namespace

float air_floor_percentile(const float *dbm, size_t bins)
{
    // Every stride-th bin, at most SAMPLES of them: a percentile of 64
    // spread bins is as good a floor, at an eighth of the cost for 512.
    const size_t stride = bins > SAMPLES ? bins / SAMPLES : 1;
    const size_t n = (bins / stride) & ~(WAYS - 1);
    if (n == 0)
        return bins ? dbm[0] : 0;
    float sample[2 * SAMPLES];
    float lowest = HUGE_DBM;
    for (size_t k = 0; k < n; ++k) {
        sample[k] = dbm[k * stride];
        lowest = sample[k] < lowest ? sample[k] : lowest;
    }
    uint8_t ways[WAYS][BUCKETS];
    memset(ways, 0, sizeof ways);
    for (size_t k = 0; k < n; k += WAYS)
        for (size_t w = 0; w < WAYS; ++w)
            ways[w][bucket(sample[k + w], lowest)]++;
    // The bucket holding the wanted rank, and the rank within it.
    const size_t want = (n * AIR_FLOOR_PERCENTILE + 99) / 100;
    size_t below = 0, in_bucket = 0;
    int i = 0;
    for (;; ++i) {
        in_bucket = size_t{ways[0][i]} + ways[1][i] + ways[2][i] + ways[3][i];
        if (i == BUCKETS - 1 || below + in_bucket >= want)
            break;
        below += in_bucket;
    }
    const float edge = lowest + static_cast<float>(i) / BUCKETS_PER_DB;
    const float top = i == BUCKETS - 1 ? HUGE_DBM : edge + 1 / BUCKETS_PER_DB;
    float lo = HUGE_DBM, hi = -HUGE_DBM;
    for (size_t k = 0; k < n; ++k) {
        const float d = sample[k];
        const bool in = d >= edge && d < top;
        lo = in && d < lo ? d : lo;
        hi = in && d > hi ? d : hi;
    }
    if (in_bucket < 2 || !(hi >= lo))
        return lo < HUGE_DBM ? lo : edge;
    const float rank = static_cast<float>(want - below - 1) / static_cast<float>(in_bucket - 1);
    return lo + (hi - lo) * rank;
}

float air_floor_track(float floor, float report_floor)
{
    return floor + (report_floor - floor) * (report_floor < floor ? FALL : RISE);
}
