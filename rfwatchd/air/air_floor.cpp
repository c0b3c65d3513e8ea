#include "air/air_floor.h"

#include <cstdint>
#include <cstring>

namespace
{

// Half-dB buckets from -160 dBm: the lowest bucket takes anything below,
// the highest anything above -32 dBm, where no noise floor lies.
constexpr float LOWEST_DBM = -160.0f;
constexpr float BUCKETS_PER_DB = 2.0f;
constexpr int BUCKETS = 256;
constexpr float FALL = 0.5f;
constexpr float RISE = 0.02f;

} // namespace

namespace
{

int bucket(float dbm)
{
    float x = (dbm - LOWEST_DBM) * BUCKETS_PER_DB;
    x = x >= 0 ? x : 0; // also takes NaN to 0
    x = x > BUCKETS - 1 ? BUCKETS - 1 : x;
    return static_cast<int>(x);
}

} // namespace

float air_floor_percentile(const float *dbm, size_t n)
{
    uint16_t histogram[BUCKETS];
    memset(histogram, 0, sizeof histogram);
    for (size_t j = 0; j < n; ++j)
        histogram[bucket(dbm[j])]++;
    // The bucket holding the wanted rank.
    const size_t want = (n * AIR_FLOOR_PERCENTILE + 99) / 100;
    size_t below = 0;
    int i = 0;
    for (; i < BUCKETS - 1 && below + histogram[i] < want; ++i)
        below += histogram[i];
    // Within it, between its least and greatest value by rank, so that a
    // flat spectrum gives its own level rather than a bucket's centre.
    float lo = 0, hi = 0;
    bool any = false;
    for (size_t j = 0; j < n; ++j) {
        if (bucket(dbm[j]) != i)
            continue;
        const float v = dbm[j] == dbm[j] ? dbm[j] : LOWEST_DBM;
        lo = !any || v < lo ? v : lo;
        hi = !any || v > hi ? v : hi;
        any = true;
    }
    if (!any || histogram[i] < 2)
        return lo;
    const float rank = static_cast<float>(want - below - 1) / static_cast<float>(histogram[i] - 1);
    return lo + (hi - lo) * rank;
}

float air_floor_report(const float *dbm, size_t n)
{
    float peak = LOWEST_DBM;
    for (size_t j = 0; j < n; ++j)
        peak = dbm[j] > peak ? dbm[j] : peak;
    const float floor = air_floor_percentile(dbm, n);
    return floor > peak - AIR_FLOOR_RANGE_DB ? floor : peak - AIR_FLOOR_RANGE_DB;
}

float air_floor_track(float floor, float report_floor)
{
    return floor + (report_floor - floor) * (report_floor < floor ? FALL : RISE);
}
