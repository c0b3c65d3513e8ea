// SPDX-License-Identifier: MIT
#include "air/air_features.h"

#include <cmath>

namespace
{

constexpr size_t PHASE_BINS = 8;
constexpr double MAINS_PERIOD_US[2] = {20000.0, 1e6 / 60.0};
// The same periods as whole numbers: MAINS_SCALED_US / MAINS_SCALE.
constexpr uint64_t MAINS_SCALE[2] = {1, 3};
constexpr uint64_t MAINS_SCALED_US[2] = {20000, 50000};
// The phase counts are scaled down every so many reports: about two
// seconds of memory at 200 reports/s, long enough for the contrast to stand
// clear of chance, short enough that mains drift against the radio's clock
// does not smear it.
constexpr uint64_t PHASE_DECAY_EVERY = 128;
constexpr float PHASE_DECAY = 0.75f;
constexpr float DUTY_EMA_MIN = 1.0f / 256; // about a second and a half at 200 reports/s
constexpr float SHAPE_EMA_MIN = 1.0f / 64;
// Share of the way a span's edge moves in toward each sighting: some 500
// on-reports (a few seconds) to forget an edge no longer reached.
constexpr float ENV_SHRINK = 1.0f / 512;

float ema_alpha(uint64_t count, float floor_alpha)
{
    // Plain mean over the first samples, so a young signal's figures are
    // not dragged toward zero by the starting value.
    float a = count ? 1.0f / static_cast<float>(count) : 1.0f;
    return a > floor_alpha ? a : floor_alpha;
}

void ema(float &value, float sample, float alpha)
{
    value += alpha * (sample - value);
}

void fold_phase(AirSignal &s, uint64_t time_us, bool on)
{
    if (s.updates % PHASE_DECAY_EVERY == 0) {
        for (size_t m = 0; m < 2; ++m)
            for (size_t b = 0; b < PHASE_BINS; ++b) {
                s.phase_on[m][b] *= PHASE_DECAY;
                s.phase_all[m][b] *= PHASE_DECAY;
            }
    }
    for (size_t m = 0; m < 2; ++m) {
        // In whole numbers: a 60 Hz cycle is 50000/3 us, so its phase is
        // that of 3t in a 50000 us one.
        uint64_t in_cycle = (time_us * MAINS_SCALE[m]) % MAINS_SCALED_US[m];
        auto b = static_cast<size_t>(in_cycle * PHASE_BINS / MAINS_SCALED_US[m]);
        s.phase_all[m][b] += 1.0f;
        if (on)
            s.phase_on[m][b] += 1.0f;
    }
}

// Burst lengths from the report times around each run's edges: the run is
// taken to start midway between the last report it was off in and the
// first it was on in, and to end likewise. Only meaningful while reports
// come more often than bursts do (a 2 ms burst at 200 reports/s is seen as
// one report, and its length as about the report interval).
void track_bursts(AirSignal &s, uint64_t t, bool on)
{
    if (on) {
        if (!s.on)
            s.run_start_us = s.last_off_us + (t - s.last_off_us) / 2;
        s.last_on_us = t;
        return;
    }
    if (s.on) {
        uint64_t end = s.last_on_us + (t - s.last_on_us) / 2;
        s.burst_sum_ms += static_cast<float>(end - s.run_start_us) / 1000.0f;
        s.bursts++;
    }
    s.last_off_us = t;
}

void take_shape(AirSignal &s, const AirSighting &seen)
{
    float a = ema_alpha(s.on_reports, SHAPE_EMA_MIN);
    float centre = (seen.lo_mhz + seen.hi_mhz) / 2;
    // Centres about the first one keep the squares small enough for a float.
    float rel = centre - s.ref_mhz;
    ema(s.top_width_ema, seen.top_hi_mhz - seen.top_lo_mhz, a);
    ema(s.centre_ema, centre, a);
    ema(s.centre_sq_ema, rel * rel, a);
    ema(s.dbm, seen.peak_dbm, a > 1.0f / 16 ? a : 1.0f / 16);
}

} // namespace

float air_mains_period_ms(AirMains mains)
{
    return static_cast<float>(MAINS_PERIOD_US[mains] / 1000);
}

void air_features_start(AirSignal &s, const AirReport &r, const AirSighting &seen, uint32_t id)
{
    s = AirSignal{};
    s.id = id;
    s.cls = AirClass::Unknown;
    s.pending = AirClass::Unknown;
    s.first_seen_us = r.time_us;
    s.first_seen_timestamp = r.timestamp;
    s.first_report = r.reports;
    s.last_off_us = r.time_us;
    s.last_on_us = r.time_us;
    s.env_lo = seen.lo_mhz;
    s.env_hi = seen.hi_mhz;
    s.centre_ema = (seen.lo_mhz + seen.hi_mhz) / 2;
    s.ref_mhz = s.centre_ema;
    s.dbm = seen.peak_dbm;
    s.mhz = s.centre_ema;
    s.width_mhz = seen.hi_mhz - seen.lo_mhz;
}

void air_features_take(AirSignal &s, const AirReport &r, const AirSighting &seen)
{
    fold_phase(s, r.time_us, seen.on);
    s.updates++;
    track_bursts(s, r.time_us, seen.on);
    s.on = seen.on;
    ema(s.duty_ema, seen.on ? 1.0f : 0.0f, ema_alpha(s.updates, DUTY_EMA_MIN));
    if (!seen.on)
        return;
    s.on_reports++;
    if (!seen.shaped)
        return;
    take_shape(s, seen);
    // Out at once to where it is seen; back in slowly, so that an edge
    // it seldom reaches is kept while one it reached by mistake (joined
    // with a neighbour, say) is forgotten in a few seconds.
    s.env_lo =
        seen.lo_mhz < s.env_lo ? seen.lo_mhz : s.env_lo + ENV_SHRINK * (seen.lo_mhz - s.env_lo);
    s.env_hi =
        seen.hi_mhz > s.env_hi ? seen.hi_mhz : s.env_hi + ENV_SHRINK * (seen.hi_mhz - s.env_hi);
}

float air_phase_contrast(const AirSignal &s, AirMains mains, float *weight_out)
{
    const float *on = s.phase_on[mains];
    const float *all = s.phase_all[mains];
    float total = 0, on_total = 0;
    for (size_t b = 0; b < PHASE_BINS; ++b) {
        total += all[b];
        on_total += on[b];
    }
    if (weight_out)
        *weight_out = total;
    float best = 0;
    // Half a cycle starting at each bin; the other half is the rest.
    for (size_t start = 0; start < PHASE_BINS / 2; ++start) {
        float on_a = 0, all_a = 0;
        for (size_t k = 0; k < PHASE_BINS / 2; ++k) {
            on_a += on[(start + k) % PHASE_BINS];
            all_a += all[(start + k) % PHASE_BINS];
        }
        float all_b = total - all_a;
        if (all_a < 1.0f || all_b < 1.0f)
            continue;
        float c = std::fabs(on_a / all_a - (on_total - on_a) / all_b);
        best = c > best ? c : best;
    }
    return best;
}

float air_centre_spread(const AirSignal &s)
{
    float rel_mean = s.centre_ema - s.ref_mhz;
    float var = s.centre_sq_ema - rel_mean * rel_mean;
    return var > 0 ? std::sqrt(var) : 0.0f;
}
