// The hopper's hit totals and span are kept up as blips are noted and
// positions released; after every step they must equal what a fresh count
// of the hits gives.
#include "air/air_hopper.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

constexpr float LOW = 2402;

// The rule from scratch: positions neither strays (under a quarter of the
// mean) nor standing out (16 hits or more and at least three times the mean).
AirHopSpan fresh_span(const AirTracker &t)
{
    uint64_t total = 0, used = 0;
    for (uint16_t h : t.hop_hits) {
        total += h;
        used += h > 0;
    }
    AirHopSpan span = {0, 0, 0};
    for (size_t p = 0; p < 256; ++p) {
        uint64_t h = t.hop_hits[p];
        if (!h || h * used * 4 < total || (h >= 16 && h * used >= 3 * total))
            continue;
        span.lo_mhz = span.positions++ ? span.lo_mhz : LOW + static_cast<float>(p);
        span.hi_mhz = LOW + static_cast<float>(p + 1);
    }
    return span;
}

struct Case {
    const char *name;
    int steps, positions; // blips at random positions among the first ones
    int fixed_every;      // every so many steps a blip at one fixed position (0: none)
    int release_every;    // every so many steps a random position is released (0: none)
};

TEST(AirHopper, TotalsAndSpanFollowNotesAndReleases)
{
    const Case cases[] = {
        {"even hops", 3000, 79, 0, 0},
        {"hops and a fixed source", 3000, 79, 2, 0},
        {"hops with releases", 3000, 40, 3, 7},
        {"one position past saturation", 70000, 1, 0, 0},
        {"positions off the band", 500, 300, 0, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AirTracker t;
        air_tracker_reset(t);
        std::mt19937 rng(7);
        for (int k = 1; k <= c.steps; ++k) {
            auto at = [&](int n) { return LOW + static_cast<float>(rng() % n) + 0.5f; };
            if (c.release_every && k % c.release_every == 0)
                air_hopper_release(t, LOW, at(c.positions));
            else
                air_hopper_note(t, LOW,
                                c.fixed_every && k % c.fixed_every == 0 ? LOW + 30.5f
                                                                        : at(c.positions));
            if (k % 97 && k != c.steps)
                continue; // spot checks keep the saturating case quick
            AirHopSpan want = fresh_span(t), got = air_hopper_span(t, LOW);
            ASSERT_EQ(got.positions, want.positions) << "step " << k;
            ASSERT_EQ(got.lo_mhz, want.lo_mhz) << "step " << k;
            ASSERT_EQ(got.hi_mhz, want.hi_mhz) << "step " << k;
            uint64_t total = 0, used = 0;
            for (uint16_t h : t.hop_hits) {
                total += h;
                used += h > 0;
            }
            bool out = t.hop_hits[30] >= 16 && t.hop_hits[30] * used >= 3 * total;
            ASSERT_EQ(air_hopper_stands_out(t, LOW, LOW + 30.5f), out) << "step " << k;
        }
    }
}

} // namespace
