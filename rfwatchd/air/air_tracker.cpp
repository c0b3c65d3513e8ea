// SPDX-License-Identifier: MIT
// The tracker: per report, busy segments become blobs, blobs are matched
// to the signals already known (or start new ones), every signal takes the
// report, and signals are named and retired.
#include "air/air_classify.h"
#include "air/air_features.h"
#include "air/air_hopper.h"
#include "air/air_signal.h"

#include <cmath>
#include <cstring>

namespace
{

// Segments closer than this are one source the noise split (a weak flat
// top dips below the threshold here and there).
constexpr float BLOB_JOIN_MHZ = 0.7f;
// A wandering source (a magnetron's centre sweeps tens of MHz) is matched
// by the span it has been seen in, widened by this.
constexpr float WANDER_SLACK_MHZ = 4.0f;
// How much weaker than a wide source a piece of its top may be.
constexpr float PIECE_DB = 6.0f;
constexpr uint64_t RETIRE_AFTER_US = 2000000;
constexpr uint64_t RETIRE_RARE_AFTER_US = 30000000;
constexpr float RARE_DUTY = 0.05f;
constexpr uint64_t CLASSIFY_EVERY = 8;

struct Blob {
    AirSighting seen;
    size_t first, last; // its bins
    uint32_t owner;     // id of the Wi-Fi channel whose top it holds, or 0
    float centre() const { return (seen.lo_mhz + seen.hi_mhz) / 2; }
    float top_width() const { return seen.top_hi_mhz - seen.top_lo_mhz; }
};

float bin_lo(const AirReport &r, size_t bin)
{
    return r.low_mhz + static_cast<float>(bin) * r.mhz_per_bin;
}

// The extent within AIR_TOP_DB of the peak: the source's own width,
// whatever its level over the threshold.
void find_top(const AirReport &r, size_t first, size_t last, AirSighting &seen)
{
    float floor = seen.peak_dbm - AIR_TOP_DB;
    size_t lo = first, hi = last;
    while (lo < hi && r.dbm[lo] < floor)
        lo++;
    while (hi > lo && r.dbm[hi] < floor)
        hi--;
    seen.top_lo_mhz = bin_lo(r, lo);
    seen.top_hi_mhz = bin_lo(r, hi + 1);
}

// A blob may be cut in three where it holds a known Wi-Fi channel.
constexpr size_t MAX_BLOBS = 3 * AIR_MAX_SEGMENTS;

// The sighting bins first..last make on their own.
AirSighting sight(const AirReport &r, size_t first, size_t last)
{
    AirSighting seen = {true, bin_lo(r, first), bin_lo(r, last + 1), 0, 0, r.dbm[first], true};
    for (size_t j = first; j <= last; ++j)
        seen.peak_dbm = r.dbm[j] > seen.peak_dbm ? r.dbm[j] : seen.peak_dbm;
    find_top(r, first, last, seen);
    return seen;
}

size_t make_blobs(const AirReport &r, Blob *blobs)
{
    // Segments in bin order, so neighbours can be joined; they are found in
    // that order, so a copy to sort is made only when they are not.
    AirSegment sorted[AIR_MAX_SEGMENTS];
    const AirSegment *seg = r.segments;
    size_t n = r.segment_count < AIR_MAX_SEGMENTS ? r.segment_count : AIR_MAX_SEGMENTS;
    size_t in_order = 1;
    while (in_order < n && seg[in_order - 1].first_bin <= seg[in_order].first_bin)
        in_order++;
    if (in_order < n) {
        std::memcpy(sorted, r.segments, n * sizeof(AirSegment));
        for (size_t i = 1; i < n; ++i)
            for (size_t j = i; j > 0 && sorted[j].first_bin < sorted[j - 1].first_bin; --j) {
                AirSegment tmp = sorted[j];
                sorted[j] = sorted[j - 1];
                sorted[j - 1] = tmp;
            }
        seg = sorted;
    }
    size_t count = 0;
    size_t first = 0;
    for (size_t i = 0; i < n; ++i) {
        bool joins =
            count && bin_lo(r, seg[i].first_bin) - blobs[count - 1].seen.hi_mhz <= BLOB_JOIN_MHZ;
        if (!joins) {
            first = seg[i].first_bin;
            blobs[count++] =
                Blob{{true, bin_lo(r, first), 0, 0, 0, seg[i].peak_dbm, true}, first, 0, 0};
        }
        blobs[count - 1].last = seg[i].last_bin;
        AirSighting &b = blobs[count - 1].seen;
        b.hi_mhz = bin_lo(r, seg[i].last_bin + 1U);
        b.peak_dbm = seg[i].peak_dbm > b.peak_dbm ? seg[i].peak_dbm : b.peak_dbm;
        find_top(r, first, seg[i].last_bin, b);
    }
    return count;
}

bool wifi_shaped(float top_width)
{
    return air_wifi_width_miss(top_width) < AIR_WIFI_WIDTH_MISS;
}

bool wide(const AirSignal &s)
{
    return s.id && !s.family && s.top_width_ema > AIR_NARROW_MHZ;
}

float overlap(float lo_a, float hi_a, float lo_b, float hi_b)
{
    float lo = lo_a > lo_b ? lo_a : lo_b, hi = hi_a < hi_b ? hi_a : hi_b;
    return hi - lo;
}

// A wide signal whose span (widened by slack) the blob overlaps most.
int match_wide(const AirTracker &t, const Blob &b, float slack, bool pieces)
{
    int best = -1;
    float best_overlap = 0;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        const AirSignal &s = t.signals[i];
        // Pieces of any wide source; whole blobs only of a wanderer (a
        // Wi-Fi channel's own blobs have its shape and are matched by it).
        if (!wide(s) || (!pieces && wifi_shaped(s.top_width_ema)))
            continue;
        float lo = s.env_lo - slack, hi = s.env_hi + slack;
        // A piece is what is left of its top where the top dips under the
        // threshold: about as strong as the source. A far weaker blip in its
        // span is another source's (a hopper's, beside an oven).
        if (pieces && (b.centre() < lo || b.centre() > hi || b.seen.peak_dbm < s.dbm - PIECE_DB))
            continue;
        float o = overlap(lo, hi, b.seen.lo_mhz, b.seen.hi_mhz);
        if (o > best_overlap) {
            best_overlap = o;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// A fixed narrow signal centred near the blob.
int match_narrow(const AirTracker &t, const AirReport &r, const Blob &b)
{
    int best = -1;
    float best_miss = 0;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        const AirSignal &s = t.signals[i];
        if (!s.id || s.family || wide(s))
            continue;
        float miss = b.centre() - s.centre_ema;
        miss = miss < 0 ? -miss : miss;
        // A fixed source's centre stays within a bin or so; a hopper's next
        // position is 1 MHz away and must not be taken for it.
        float tolerance = 2 * r.mhz_per_bin > 0.6f ? 2 * r.mhz_per_bin : 0.6f;
        if (miss <= tolerance && (best < 0 || miss < best_miss)) {
            best_miss = miss;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// wifi: only signals named Wi-Fi (a young one of the shape may be a wide
// source's blob that happened to look like one).
int match_fixed(const AirTracker &t, const AirReport &r, const Blob &b, bool wifi = false)
{
    int best = -1;
    float best_miss = 0;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        const AirSignal &s = t.signals[i];
        float miss = std::fabs(b.centre() - s.centre_ema);
        float tolerance = 2 * r.mhz_per_bin > 1.0f ? 2 * r.mhz_per_bin : 1.0f;
        bool alike = std::fabs(b.top_width() - s.top_width_ema) < 0.2f * s.top_width_ema;
        if (wide(s) && alike && miss <= tolerance && (!wifi || s.cls == AirClass::Wifi) &&
            (best < 0 || miss < best_miss)) {
            best_miss = miss;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// A Wi-Fi channel and a neighbour on at once (an oven beside it, a blip at
// its edge) make one busy run. Where a blob holds the whole top of a named
// Wi-Fi channel, it is that channel's, and what runs on past the channel's
// usual extent becomes a blob of its own: else the channel's 20 MHz would
// be taken into the neighbour's span, and the channel's report lost.
size_t split_at_wifi(const AirTracker &t, const AirReport &r, Blob *blobs, size_t n)
{
    const auto bin_at = [&r](float mhz) {
        return static_cast<long>(std::floor((mhz - r.low_mhz) / r.mhz_per_bin + 0.5f));
    };
    for (size_t b = 0; b < n; ++b) {
        for (const AirSignal &w : t.signals) {
            Blob &blob = blobs[b];
            const float half_top = w.top_width_ema / 2;
            if (!wide(w) || w.cls != AirClass::Wifi || blob.owner ||
                blob.seen.lo_mhz > w.centre_ema - half_top + r.mhz_per_bin ||
                blob.seen.hi_mhz < w.centre_ema + half_top - r.mhz_per_bin)
                continue;
            const auto first = static_cast<long>(blob.first), last = static_cast<long>(blob.last);
            const long lo = bin_at(w.env_lo), hi = bin_at(w.env_hi) - 1; // its bins
            const size_t kept = n;
            blob.owner = w.id;
            // Two bins past its extent at least: one is its edge's jitter.
            if (last >= hi + 2 && hi >= first && n < MAX_BLOBS) {
                const auto past = static_cast<size_t>(hi + 1);
                blobs[n++] = Blob{sight(r, past, blob.last), past, blob.last, 0};
                blob.last = past - 1;
            }
            if (first + 2 <= lo && lo <= static_cast<long>(blob.last) && n < MAX_BLOBS) {
                const auto below = static_cast<size_t>(lo - 1);
                blobs[n++] = Blob{sight(r, blob.first, below), blob.first, below, 0};
                blob.first = below + 1;
            }
            if (n != kept)
                blob.seen = sight(r, blob.first, blob.last);
        }
    }
    return n;
}

// piece: the blob was taken as a piece of a wide source (it shows the
// source on, not where the source reaches).
int match(const AirTracker &t, const AirReport &r, const Blob &b, bool &piece)
{
    piece = false;
    for (size_t i = 0; b.owner && i < AIR_MAX_SIGNALS; ++i)
        if (t.signals[i].id == b.owner)
            return static_cast<int>(i);
    if (b.top_width() <= AIR_NARROW_MHZ) {
        // A piece of a wide source first: a weak flat top breaks into
        // blips that must not be taken for a hopper.
        int i = match_wide(t, b, 1.0f, true);
        piece = i >= 0;
        if (i >= 0)
            return i;
        i = match_narrow(t, r, b);
        if (i >= 0 || air_hopper_stands_out(t, r.low_mhz, b.centre()))
            return i; // a fixed source starts a signal of its own
        return air_hopper_find(t);
    }
    // A Wi-Fi channel stays where it is: it is its own signal, or one of
    // the same width centred where it is, never a piece of a wanderer.
    if (wifi_shaped(b.top_width()))
        return match_fixed(t, r, b);
    // Nor when its top, in coarse bins, comes out a little wider than the
    // shape: of the width of a named Wi-Fi channel and where it is, it is
    // that channel's.
    int i = match_fixed(t, r, b, true);
    if (i >= 0)
        return i;
    i = match_wide(t, b, WANDER_SLACK_MHZ, false);
    return i >= 0 ? i : match_narrow(t, r, b);
}

// A free slot, or the one on least recently (never the hopper family).
int take_slot(AirTracker &t)
{
    int oldest = -1;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        const AirSignal &s = t.signals[i];
        if (!s.id)
            return static_cast<int>(i);
        if (!s.family && (oldest < 0 || s.last_on_us < t.signals[oldest].last_on_us))
            oldest = static_cast<int>(i);
    }
    return oldest;
}

void join(AirSighting &into, const AirSighting &b)
{
    if (!into.on || (b.shaped && !into.shaped)) {
        into = b;
        return;
    }
    if (!b.shaped)
        return;
    into.lo_mhz = b.lo_mhz < into.lo_mhz ? b.lo_mhz : into.lo_mhz;
    into.hi_mhz = b.hi_mhz > into.hi_mhz ? b.hi_mhz : into.hi_mhz;
    into.top_lo_mhz = b.top_lo_mhz < into.top_lo_mhz ? b.top_lo_mhz : into.top_lo_mhz;
    into.top_hi_mhz = b.top_hi_mhz > into.top_hi_mhz ? b.top_hi_mhz : into.top_hi_mhz;
    into.peak_dbm = b.peak_dbm > into.peak_dbm ? b.peak_dbm : into.peak_dbm;
}

// A wandering source first seen at two places is two signals until their
// spans overlap: then the younger is folded into the older. Wi-Fi channels
// stay where they are, whatever overlaps them, so only wide signals of
// another shape are paired (found once, not once per pair).
void merge_wanderers(AirTracker &t)
{
    size_t wanderer[AIR_MAX_SIGNALS];
    size_t n = 0;
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i)
        if (wide(t.signals[i]) && !wifi_shaped(t.signals[i].top_width_ema))
            wanderer[n++] = i;
    for (size_t x = 0; x < n; ++x) {
        for (size_t y = 0; y < n; ++y) {
            AirSignal &a = t.signals[wanderer[x]], &b = t.signals[wanderer[y]];
            // A folded signal's slot is free from then on.
            if (x == y || !a.id || !b.id || b.first_seen_us < a.first_seen_us)
                continue;
            float smaller = a.env_hi - a.env_lo < b.env_hi - b.env_lo ? a.env_hi - a.env_lo
                                                                      : b.env_hi - b.env_lo;
            if (overlap(a.env_lo, a.env_hi, b.env_lo, b.env_hi) < 0.3f * smaller)
                continue;
            a.env_lo = b.env_lo < a.env_lo ? b.env_lo : a.env_lo;
            a.env_hi = b.env_hi > a.env_hi ? b.env_hi : a.env_hi;
            b.id = 0;
        }
    }
}

void publish(AirSignal &s, const AirHopSpan &hop)
{
    if (s.family && hop.positions) {
        s.mhz = (hop.lo_mhz + hop.hi_mhz) / 2;
        s.width_mhz = hop.hi_mhz - hop.lo_mhz;
    } else {
        s.mhz = s.centre_ema;
        s.width_mhz = s.cls == AirClass::Microwave ? s.env_hi - s.env_lo : s.top_width_ema;
    }
    s.hops = s.family ? hop.positions : 0;
    // A burst is measured only when runs span a few reports on average;
    // shorter ones (Wi-Fi's 2 ms at 200 reports/s) are mostly a single
    // report each, and their length would read as the report interval.
    bool resolved = static_cast<float>(s.on_reports) >= 1.75f * static_cast<float>(s.bursts);
    bool runs = s.bursts >= 3 && resolved && !s.family && s.cls != AirClass::Continuous;
    s.burst_ms = runs ? s.burst_sum_ms / static_cast<float>(s.bursts) : 0;
    if (s.cls != AirClass::Microwave)
        s.period_ms = 0;
}

bool gone(const AirSignal &s, uint64_t now_us)
{
    uint64_t quiet = now_us - s.last_on_us;
    return quiet > (s.duty_ema < RARE_DUTY ? RETIRE_RARE_AFTER_US : RETIRE_AFTER_US);
}

} // namespace

const char *air_class_name(AirClass cls)
{
    constexpr const char *NAMES[] = {"unknown",    "wifi",       "microwave", "hopper",
                                     "narrowband", "continuous", "pulsed"};
    auto i = static_cast<size_t>(cls);
    return i < sizeof(NAMES) / sizeof(NAMES[0]) ? NAMES[i] : "unknown";
}

void air_tracker_reset(AirTracker &tracker)
{
    std::memset(&tracker, 0, sizeof(tracker));
}

void air_tracker_update(AirTracker &t, const AirReport &r, uint32_t &next_id)
{
    t.reports++;
    Blob blobs[MAX_BLOBS];
    size_t n = split_at_wifi(t, r, blobs, make_blobs(r, blobs));
    // Only whether each was seen needs clearing: the rest is read once on.
    AirSighting seen[AIR_MAX_SIGNALS];
    for (AirSighting &x : seen)
        x.on = false;
    int family = air_hopper_find(t);
    for (size_t b = 0; b < n; ++b) {
        bool piece = false;
        int i = match(t, r, blobs[b], piece);
        if (i < 0) {
            if (family >= 0)
                air_hopper_release(t, r.low_mhz, blobs[b].centre());
            i = take_slot(t);
            next_id += next_id == 0; // 0 marks a free slot
            air_features_start(t.signals[i], r, blobs[b].seen, next_id++);
            seen[i] = AirSighting{}; // the slot may have held a signal seen in this report
        }
        if (i == family)
            air_hopper_note(t, r.low_mhz, blobs[b].centre());
        AirSighting part = blobs[b].seen;
        // A piece shows the source on, not its shape or where it reaches: a
        // hopper's blip in a Wi-Fi channel's span would move the channel's
        // centre, and blip by blip one at a wanderer's edge would widen it
        // over the whole capture.
        part.shaped = !piece;
        join(seen[i], part);
    }
    AirHopSpan hop = {0, 0, 0};
    if (air_hopper_find(t) >= 0)
        hop = air_hopper_span(t, r.low_mhz);
    for (size_t i = 0; i < AIR_MAX_SIGNALS; ++i) {
        AirSignal &s = t.signals[i];
        if (!s.id)
            continue;
        air_features_take(s, r, seen[i]);
        if (s.updates % CLASSIFY_EVERY == 0)
            air_classify_settle(s, air_classify(s, hop.positions));
        publish(s, hop);
        if (gone(s, r.time_us))
            s.id = 0;
    }
    merge_wanderers(t);
    air_hopper_consolidate(t, r);
}
