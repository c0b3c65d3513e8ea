// SPDX-License-Identifier: MIT
// The hopper's hit totals and span, kept up as blips are noted and positions
// released, must equal what a fresh count of the hits gives at every step.
#include "air/air_hopper.h"

#include <gtest/gtest.h>

#include <random>

TEST(AirHopper, TotalsAndSpanFollowNotesAndReleases)
{
    constexpr float LOW = 2402, FIXED = LOW + 30.5f;
    struct Case {
        int steps, positions, fixed_every, release_every; // 0: no fixed source, no releases
    } const cases[] = {
        {3000, 79, 0, 0},
        {3000, 79, 2, 0},
        {3000, 40, 3, 7},
        {70000, 1, 0, 0},
        {500, 300, 0, 5}}; // even hops, a fixed source, releases, saturation, off band
    for (const Case &c : cases) {
        static AirTracker t;
        air_tracker_reset(t);
        std::mt19937 rng(7);
        for (int k = 1; k <= c.steps; ++k) {
            float at = LOW + static_cast<float>(rng() % c.positions) + 0.5f;
            if (c.release_every && k % c.release_every == 0)
                air_hopper_release(t, LOW, at);
            else
                air_hopper_note(t, LOW, c.fixed_every && k % c.fixed_every == 0 ? FIXED : at);
            if (k % 97 && k != c.steps)
                continue; // spot checks keep the saturating case quick
            uint64_t total = 0, used = 0, n = 0, lo = 0, hi = 0;
            for (uint16_t h : t.hop_hits)
                total += h, used += h > 0;
            auto out = [&](uint64_t h) { return h >= 16 && h * used >= 3 * total; };
            for (uint64_t p = 0; p < 256; ++p)
                if (t.hop_hits[p] && t.hop_hits[p] * used * 4 >= total && !out(t.hop_hits[p]))
                    lo = n++ ? lo : p, hi = p + 1;
            AirHopSpan got = air_hopper_span(t, LOW);
            ASSERT_EQ(got.positions, n) << c.steps << "/" << c.positions << " step " << k;
            ASSERT_EQ(got.lo_mhz, n ? LOW + static_cast<float>(lo) : 0) << "step " << k;
            ASSERT_EQ(got.hi_mhz, n ? LOW + static_cast<float>(hi) : 0) << "step " << k;
            ASSERT_EQ(air_hopper_stands_out(t, LOW, FIXED), out(t.hop_hits[30])) << "step " << k;
        }
    }
}

// A family formed after an earlier one retired counts its own blips only.
TEST(AirHopper, ANewFamilyForgetsTheBlipsOfARetiredOne)
{
    constexpr float LOW = 2402;
    static AirTracker t;
    air_tracker_reset(t);
    for (int p = 0; p < 40; ++p) // what a retired family left
        air_hopper_note(t, LOW, LOW + static_cast<float>(p) + 0.5f);
    AirReport r{};
    r.time_us = 5000000;
    r.low_mhz = LOW;
    r.reports = 10;
    for (uint32_t i = 0; i < 4; ++i) { // four young blips of a new hopper
        AirSignal &s = t.signals[i];
        s.id = i + 1;
        s.top_width_ema = 1;
        s.on_reports = 1;
        s.first_seen_us = r.time_us;
        s.centre_ema = LOW + 100.5f + static_cast<float>(i);
    }
    air_hopper_consolidate(t, r);
    ASSERT_GE(air_hopper_find(t), 0);
    AirHopSpan span = air_hopper_span(t, LOW);
    EXPECT_EQ(span.positions, 4u);
    EXPECT_EQ(span.lo_mhz, LOW + 100);
}
