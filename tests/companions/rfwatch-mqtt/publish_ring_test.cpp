// SPDX-License-Identifier: MIT
// The bounded queue in front of the broker: oldest dropped first and
// counted, entries leave only when confirmed, unconfirmed ones are sent
// again after a lost connection.
#include "publish_ring.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

void push(PublishRing &r, const std::string &s)
{
    ring_push(r, std::span<const char>(s.data(), s.size()));
}

// Hands everything it may and returns the payloads in order.
std::vector<std::string> hand_all(PublishRing &r, int &next_mid)
{
    std::vector<std::string> out;
    while (RingEntry *e = ring_next_to_hand(r)) {
        out.push_back(e->payload);
        ring_mark_handed(r, *e, next_mid++);
    }
    return out;
}

} // namespace

TEST(PublishRing, OldestDroppedFirstAndCounted)
{
    PublishRing r;
    ring_init(r, 3);
    for (const char *s : {"a", "b", "c", "d", "e"})
        push(r, s);
    EXPECT_EQ(ring_size(r), 3u);
    EXPECT_EQ(r.dropped, 2u);
    int mid = 1;
    EXPECT_EQ(hand_all(r, mid), (std::vector<std::string>{"c", "d", "e"}));
}

TEST(PublishRing, ConfirmedLeaveInOrderEvenWhenConfirmedOutOfOrder)
{
    PublishRing r;
    ring_init(r, 4);
    for (const char *s : {"a", "b", "c"})
        push(r, s);
    int mid = 10;
    ASSERT_EQ(hand_all(r, mid).size(), 3u);
    EXPECT_EQ(r.handed, 3u);
    EXPECT_TRUE(ring_confirm(r, 11)); // "b" first
    EXPECT_EQ(ring_size(r), 3u);      // "a" still holds the front
    EXPECT_TRUE(ring_confirm(r, 10));
    EXPECT_EQ(ring_size(r), 1u);
    EXPECT_FALSE(ring_confirm(r, 99));
    push(r, "d");
    EXPECT_EQ(hand_all(r, mid), (std::vector<std::string>{"d"}));
    EXPECT_TRUE(ring_confirm(r, 12));
    EXPECT_TRUE(ring_confirm(r, 13));
    EXPECT_EQ(ring_size(r), 0u);
    EXPECT_EQ(r.handed, 0u);
}

TEST(PublishRing, LostConnectionResendsTheUnconfirmedOnly)
{
    PublishRing r;
    ring_init(r, 4);
    for (const char *s : {"a", "b", "c"})
        push(r, s);
    int mid = 1;
    hand_all(r, mid);
    EXPECT_TRUE(ring_confirm(r, 2)); // "b" confirmed, "a" and "c" not
    ring_unhand_all(r);
    EXPECT_EQ(r.handed, 0u);
    EXPECT_EQ(hand_all(r, mid), (std::vector<std::string>{"a", "c"}));
}

TEST(PublishRing, HandedEntryPushedOutIsCountedAndItsLateConfirmationIgnored)
{
    PublishRing r;
    ring_init(r, 2);
    push(r, "a");
    push(r, "b");
    int mid = 1;
    hand_all(r, mid); // a=1, b=2
    push(r, "c");     // "a" goes although libmosquitto holds it
    EXPECT_EQ(r.dropped, 1u);
    EXPECT_EQ(r.handed, 1u);
    EXPECT_FALSE(ring_confirm(r, 1));
    EXPECT_EQ(hand_all(r, mid), (std::vector<std::string>{"c"}));
    EXPECT_TRUE(ring_confirm(r, 2));
    EXPECT_TRUE(ring_confirm(r, 3));
    EXPECT_EQ(ring_size(r), 0u);
}
