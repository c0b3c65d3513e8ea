#include "air/air_hopper.h"

#include "air/air_features.h"

namespace
{

constexpr size_t POSITIONS = sizeof(AirTracker::hop_hits) / sizeof(AirTracker::hop_hits[0]);
// A blip's position is seen again only now and then; a fixed narrowband
// source is on in many reports at one place.
constexpr uint64_t CANDIDATE_MAX_ON = 4;
constexpr uint64_t CANDIDATE_MAX_AGE_US = 2000000;
constexpr size_t FAMILY_MIN_MEMBERS = 4;

bool candidate(const AirSignal &s, uint64_t now_us)
{
    return s.id && !s.family && s.top_width_ema <= AIR_NARROW_MHZ &&
           s.on_reports <= CANDIDATE_MAX_ON && now_us - s.first_seen_us <= CANDIDATE_MAX_AGE_US;
}

} // namespace

int air_hopper_find(const AirTracker &t)
{
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i)
        if (t.signals[i].id && t.signals[i].family)
            return static_cast<int>(i);
    return -1;
}

void air_hopper_note(AirTracker &t, float low_mhz, float mhz)
{
    float off = mhz - low_mhz;
    if (off < 0 || off >= static_cast<float>(POSITIONS))
        return;
    auto p = static_cast<size_t>(off);
    if (t.hop_hits[p] < UINT16_MAX)
        t.hop_hits[p]++;
}

namespace
{

constexpr uint32_t STANDS_OUT_MIN_HITS = 16, STANDS_OUT_TIMES_MEAN = 3;

struct HitTotals {
    uint32_t total, used;
};

HitTotals hit_totals(const AirTracker &t)
{
    HitTotals h = {0, 0};
    for (uint16_t hits : t.hop_hits) {
        h.total += hits;
        h.used += hits > 0;
    }
    return h;
}

bool stands_out(uint32_t hits, const HitTotals &h)
{
    return hits >= STANDS_OUT_MIN_HITS && hits * h.used >= STANDS_OUT_TIMES_MEAN * h.total;
}

} // namespace

bool air_hopper_stands_out(const AirTracker &t, float low_mhz, float mhz)
{
    float off = mhz - low_mhz;
    if (off < 0 || off >= static_cast<float>(POSITIONS))
        return false;
    return stands_out(t.hop_hits[static_cast<size_t>(off)], hit_totals(t));
}

void air_hopper_release(AirTracker &t, float low_mhz, float mhz)
{
    float off = mhz - low_mhz;
    if (off >= 0 && off < static_cast<float>(POSITIONS))
        t.hop_hits[static_cast<size_t>(off)] = 0;
}

AirHopSpan air_hopper_span(const AirTracker &t, float low_mhz)
{
    HitTotals h = hit_totals(t);
    AirHopSpan span = {0, 0, 0};
    size_t first = POSITIONS, last = 0;
    for (size_t p = 0; p < POSITIONS; ++p) {
        // A hopper visits its positions about equally often.
        bool stray = t.hop_hits[p] * h.used * 4 < h.total;
        if (!t.hop_hits[p] || stray || stands_out(t.hop_hits[p], h))
            continue;
        span.positions++;
        first = p < first ? p : first;
        last = p;
    }
    if (span.positions) {
        span.lo_mhz = low_mhz + static_cast<float>(first);
        span.hi_mhz = low_mhz + static_cast<float>(last + 1);
    }
    return span;
}

void air_hopper_consolidate(AirTracker &t, const AirReport &r)
{
    if (air_hopper_find(t) >= 0)
        return;
    size_t members = 0;
    int oldest = -1;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        const AirSignal &s = t.signals[i];
        if (!candidate(s, r.time_us))
            continue;
        members++;
        if (oldest < 0 || s.first_seen_us < t.signals[oldest].first_seen_us)
            oldest = static_cast<int>(i);
    }
    if (members < FAMILY_MIN_MEMBERS)
        return;
    AirSignal &family = t.signals[oldest];
    family.family = true;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        AirSignal &s = t.signals[i];
        bool self = &s == &family;
        if (!self && !candidate(s, r.time_us))
            continue;
        air_hopper_note(t, r.low_mhz, s.centre_ema);
        if (self)
            continue;
        // Each blip was in a report of its own, so their on-counts add up.
        family.on_reports += s.on_reports;
        family.env_lo = s.env_lo < family.env_lo ? s.env_lo : family.env_lo;
        family.env_hi = s.env_hi > family.env_hi ? s.env_hi : family.env_hi;
        family.last_on_us = s.last_on_us > family.last_on_us ? s.last_on_us : family.last_on_us;
        s.id = 0;
    }
    // Its duty so far is the share of reports that showed any blip.
    family.duty_ema = static_cast<float>(family.on_reports) /
                      static_cast<float>(r.reports - family.first_report + 1);
}
