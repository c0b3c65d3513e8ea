// SPDX-License-Identifier: MIT
// The flight recorder's ring: the byte bound pushes out the oldest records
// (counted), a record larger than the ring is refused without emptying it,
// records never wrap, and the time bound forgets without counting.
#include "flight_ring.h"

#include <gtest/gtest.h>

TEST(FlightRing, BoundsKeepTheNewestWhole)
{
    const struct {
        const char *name;
        uint64_t capacity;
        std::vector<size_t> bodies; // one a second; a record is 17 bytes more
        uint64_t expire_before;     // seconds; 0: none
        size_t kept;
        uint64_t dropped;
    } cases[] = {
        {"two of fifty bytes fill a hundred", 100, {33, 33, 33, 33, 33}, 0, 2, 3},
        {"the gap at the end is not used", 120, {33, 33, 33, 33, 33}, 0, 2, 3},
        {"too large is refused, the rest stays", 100, {33, 84}, 0, 1, 1},
        {"a large record wraps to the front", 100, {3, 3, 3, 3, 3, 63}, 0, 2, 4},
        {"and a small one fills behind it", 100, {3, 3, 3, 3, 3, 63, 3}, 0, 2, 5},
        {"time forgets without counting", 1000, {10, 10, 10, 10, 10, 10}, 3, 3, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FlightRing r;
        flight_ring_init(r, c.capacity);
        std::vector<std::vector<uint8_t>> pushed;
        for (size_t i = 0; i < c.bodies.size(); i++) {
            pushed.emplace_back(c.bodies[i], static_cast<uint8_t>('a' + i));
            flight_ring_push(r, RecordType::Line, i * 1000000, pushed.back());
        }
        flight_ring_expire(r, c.expire_before * 1000000);
        EXPECT_EQ(r.count, c.kept);
        EXPECT_EQ(r.dropped, c.dropped);
        uint64_t used = 0;
        // The newest that fit (a refused last record is not), whole and in order.
        const size_t newest = c.bodies.size() - (c.bodies.back() + 17 > c.capacity);
        for (size_t i = 0; i < r.count; i++) {
            const FlightRingEntry &e = flight_ring_at(r, i);
            const std::span<const uint8_t> body = flight_ring_body(r, e);
            EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.end()),
                      pushed.at(newest - c.kept + i));
            EXPECT_LE(e.offset + e.size, c.capacity);
            used += e.size;
        }
        EXPECT_EQ(used, r.used);
        EXPECT_LE(r.used, c.capacity);
    }
}
