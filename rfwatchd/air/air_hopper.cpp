// SPDX-License-Identifier: MIT
#include "air/air_hopper.h"

#include "air/air_features.h"

#include <bit>
#include <cstring>

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

namespace
{

constexpr uint32_t STANDS_OUT_MIN_HITS = 16, STANDS_OUT_TIMES_MEAN = 3;
constexpr size_t WORD_BITS = 32;
static_assert(sizeof(AirTracker::hop_positions) * 8 == POSITIONS, "a bit per position");

bool position(float low_mhz, float mhz, size_t &p)
{
    float off = mhz - low_mhz;
    if (off < 0 || off >= static_cast<float>(POSITIONS))
        return false;
    p = static_cast<size_t>(off);
    return true;
}

bool stands_out(uint32_t hits, const AirTracker &t)
{
    return hits >= STANDS_OUT_MIN_HITS && hits * t.hop_used >= STANDS_OUT_TIMES_MEAN * t.hop_total;
}

void rescan(AirTracker &t)
{
    uint32_t positions = 0;
    size_t first = 0, last = 0;
    // Only the positions seen at all: a hopper uses a third of them or less.
    for (size_t w = 0; w < POSITIONS / WORD_BITS; ++w) {
        for (uint32_t bits = t.hop_positions[w]; bits; bits &= bits - 1) {
            size_t p = w * WORD_BITS + static_cast<size_t>(std::countr_zero(bits));
            uint32_t hits = t.hop_hits[p];
            // A hopper visits its positions about equally often.
            bool stray = hits * t.hop_used * 4 < t.hop_total;
            if (stray || stands_out(hits, t))
                continue;
            first = positions++ ? first : p;
            last = p;
        }
    }
    t.hop_span_positions = static_cast<uint16_t>(positions);
    t.hop_span_first = static_cast<uint16_t>(first);
    t.hop_span_last = static_cast<uint16_t>(last);
    t.hop_span_stale = false;
}

} // namespace

void air_hopper_note(AirTracker &t, float low_mhz, float mhz)
{
    size_t p = 0;
    if (!position(low_mhz, mhz, p) || t.hop_hits[p] == UINT16_MAX)
        return;
    if (t.hop_hits[p]++ == 0) {
        t.hop_used++;
        t.hop_positions[p / WORD_BITS] |= 1U << (p % WORD_BITS);
    }
    t.hop_total++;
    t.hop_span_stale = true;
}

bool air_hopper_stands_out(const AirTracker &t, float low_mhz, float mhz)
{
    size_t p = 0;
    return position(low_mhz, mhz, p) && stands_out(t.hop_hits[p], t);
}

void air_hopper_release(AirTracker &t, float low_mhz, float mhz)
{
    size_t p = 0;
    if (!position(low_mhz, mhz, p) || !t.hop_hits[p])
        return;
    t.hop_total -= t.hop_hits[p];
    t.hop_used--;
    t.hop_hits[p] = 0;
    t.hop_positions[p / WORD_BITS] &= ~(1U << (p % WORD_BITS));
    t.hop_span_stale = true;
}

AirHopSpan air_hopper_span(AirTracker &t, float low_mhz)
{
    if (t.hop_span_stale)
        rescan(t);
    AirHopSpan span = {t.hop_span_positions, 0, 0};
    if (span.positions) {
        span.lo_mhz = low_mhz + static_cast<float>(t.hop_span_first);
        span.hi_mhz = low_mhz + static_cast<float>(t.hop_span_last + 1);
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
    // A family formed anew starts from its own blips, not those of one
    // retired before it (its hops would be counted twice).
    memset(t.hop_hits, 0, sizeof t.hop_hits);
    memset(t.hop_positions, 0, sizeof t.hop_positions);
    t.hop_total = t.hop_used = 0;
    t.hop_span_stale = true;
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
