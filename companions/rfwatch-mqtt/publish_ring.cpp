// SPDX-License-Identifier: MIT
#include "publish_ring.h"

namespace
{

RingEntry &at(PublishRing &r, size_t i)
{
    return r.entries[(r.head + i) % r.entries.size()];
}

void pop_front(PublishRing &r)
{
    RingEntry &e = at(r, 0);
    if (e.handed)
        r.handed--;
    e.handed = e.confirmed = false;
    e.payload.clear(); // keeps its capacity for the next line
    r.head = (r.head + 1) % r.entries.size();
    r.count--;
}

} // namespace

void ring_init(PublishRing &r, size_t capacity)
{
    r.entries.assign(capacity == 0 ? 1 : capacity, RingEntry{});
    r.head = r.count = r.handed = 0;
    r.dropped = 0;
}

void ring_push(PublishRing &r, std::span<const char> payload, RingTopic topic)
{
    if (r.count == r.entries.size()) {
        pop_front(r);
        r.dropped++;
    }
    RingEntry &e = at(r, r.count);
    e.payload.assign(payload.data(), payload.size());
    e.topic = topic;
    e.mid = 0;
    e.handed = e.confirmed = false;
    r.count++;
}

RingEntry *ring_next_to_hand(PublishRing &r)
{
    // Handed entries are always the oldest ones: they are handed in order.
    for (size_t i = r.handed; i < r.count; i++) {
        RingEntry &e = at(r, i);
        if (!e.handed && !e.confirmed)
            return &e;
    }
    return nullptr;
}

void ring_mark_handed(PublishRing &r, RingEntry &e, int mid)
{
    e.mid = mid;
    e.handed = true;
    r.handed++;
}

bool ring_confirm(PublishRing &r, int mid)
{
    bool found = false;
    for (size_t i = 0; i < r.count; i++) {
        RingEntry &e = at(r, i);
        if (e.handed && e.mid == mid) {
            e.handed = false;
            e.confirmed = true;
            r.handed--;
            found = true;
            break;
        }
    }
    while (r.count > 0 && at(r, 0).confirmed)
        pop_front(r);
    return found;
}

void ring_unhand_all(PublishRing &r)
{
    for (size_t i = 0; i < r.count; i++) {
        RingEntry &e = at(r, i);
        e.handed = false;
    }
    r.handed = 0;
}

size_t ring_size(const PublishRing &r)
{
    return r.count;
}
