// SPDX-License-Identifier: MIT
#include "air/air_classify.h"

#include "air/air_features.h"

namespace
{

struct Evidence {
    const AirSignal &s;
    uint32_t hops;
    float duty;
    float top_width;
    float spread; // MHz the centre moves
};

constexpr float UNKNOWN_CONFIDENCE = 0.3f;
constexpr uint8_t SETTLE_RUNS = 3;

float clip01(float v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// Locked to the mains: on in one half of each 20 or 16.7 ms cycle and off in
// the other, sampled at random instants. The other cycle's contrast must
// stay well below, or the source is merely steady. Ovens are 2.4 GHz only.
AirVerdict score_microwave(const Evidence &e)
{
    float w50 = 0, w60 = 0;
    float c50 = air_phase_contrast(e.s, AIR_MAINS_50HZ, &w50);
    float c60 = air_phase_contrast(e.s, AIR_MAINS_60HZ, &w60);
    AirMains best = c50 >= c60 ? AIR_MAINS_50HZ : AIR_MAINS_60HZ;
    float hi = c50 >= c60 ? c50 : c60, lo = c50 >= c60 ? c60 : c50;
    bool band = e.s.centre_ema > 2400 && e.s.centre_ema < 2500;
    if (!band || w50 < 100 || hi < 0.4f || lo > 0.6f * hi)
        return {AirClass::Microwave, 0, 0};
    return {AirClass::Microwave, clip01(hi + 0.2f), air_mains_period_ms(best)};
}

AirVerdict score_hopper(const Evidence &e)
{
    if (!e.s.family || e.hops < 4)
        return {AirClass::Hopper, 0, 0};
    return {AirClass::Hopper, clip01(0.4f + static_cast<float>(e.hops) / 20), 0};
}

// Distance (MHz) from the nearest centre a Wi-Fi channel of some width may
// have: 2.4 GHz channels every 5 MHz from 2412; 5 and 6 GHz every 20 MHz,
// whose 40 and 80 MHz channels are centred 10 MHz off that raster.
float raster_distance(float mhz)
{
    float origin = mhz < 3000 ? 2412.0f : (mhz < 5925 ? 5180.0f : 5955.0f);
    float step = mhz < 3000 ? 5.0f : 10.0f;
    // fmodf without the library call: a float over a small step leaves a
    // quotient a double holds exactly, so the remainder is exact too.
    double x = static_cast<double>(mhz - origin);
    auto quotient = static_cast<int64_t>(x / static_cast<double>(step));
    auto off = static_cast<float>(x - static_cast<double>(quotient) * static_cast<double>(step));
    off = off < 0 ? off + step : off;
    return off < step - off ? off : step - off;
}

// OFDM: a flat top 16.5, 35 or 75 MHz wide on the channel raster, on in bursts.
AirVerdict score_wifi(const Evidence &e)
{
    float fit = air_wifi_width_miss(e.top_width);
    float off = raster_distance(e.s.centre_ema);
    if (e.s.family || e.duty >= 0.9f || fit > AIR_WIFI_WIDTH_MISS || off > 2.5f || e.spread > 2)
        return {AirClass::Wifi, 0, 0};
    return {AirClass::Wifi, clip01(1 - fit * 1.5f - off * 0.1f), 0};
}

// On nearly all the time and staying put: a video sender or a jammer.
AirVerdict score_continuous(const Evidence &e)
{
    if (e.s.family || e.duty < 0.9f || e.spread > 2)
        return {AirClass::Continuous, 0, 0};
    return {AirClass::Continuous, clip01(0.5f + (e.duty - 0.9f) * 5), 0};
}

// A few MHz, fixed, bursty: 802.15.4 and its kin.
AirVerdict score_narrowband(const Evidence &e)
{
    if (e.s.family || e.duty >= 0.9f || e.top_width > AIR_NARROW_MHZ || e.spread > 1)
        return {AirClass::Narrowband, 0, 0};
    return {AirClass::Narrowband, clip01(0.9f - 0.3f * e.spread), 0};
}

using Scorer = AirVerdict (*)(const Evidence &);
// The most confident wins; on a tie, the earlier.
constexpr Scorer SCORERS[] = {score_microwave, score_hopper, score_wifi, score_continuous,
                              score_narrowband};

} // namespace

AirVerdict air_classify(const AirSignal &s, uint32_t hops)
{
    AirVerdict best = {AirClass::Unknown, UNKNOWN_CONFIDENCE, 0};
    if (s.updates < AIR_NAME_AFTER_REPORTS || s.on_reports < AIR_NAME_AFTER_ON) {
        best.confidence = 0.1f;
        return best;
    }
    Evidence e = {s, hops, s.duty_ema, s.top_width_ema, air_centre_spread(s)};
    for (Scorer score : SCORERS) {
        AirVerdict v = score(e);
        if (v.confidence > best.confidence)
            best = v;
    }
    return best;
}

void air_classify_settle(AirSignal &s, const AirVerdict &v)
{
    if (v.cls == s.cls) {
        s.confidence = v.confidence;
        s.period_ms = v.period_ms;
        s.pending_runs = 0;
        return;
    }
    if (v.cls != s.pending) {
        s.pending = v.cls;
        s.pending_runs = 0;
    }
    // A first name is taken at once; a change of name needs to be seen again.
    if (s.cls != AirClass::Unknown && ++s.pending_runs < SETTLE_RUNS) {
        return;
    }
    s.cls = v.cls;
    s.confidence = v.confidence;
    s.period_ms = v.period_ms;
    s.pending_runs = 0;
}
