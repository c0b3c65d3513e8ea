// SPDX-License-Identifier: MIT
#include "flight_ring.h"

#include <cstring>

namespace
{

constexpr size_t FIRST_ENTRIES = 64;

void pop_oldest(FlightRing &r)
{
    r.used -= r.entries[r.first].size;
    r.first = (r.first + 1) % r.entries.size();
    r.count--;
    if (r.count == 0) {
        r.first = 0;
        r.head = 0; // an empty ring starts again at the front: no gap
    }
}

// Where a record of n bytes can go without overwriting a held one, or
// capacity when nowhere. Held records lie from the oldest's offset (tail)
// up to head, or, once wrapped, from tail to the buffer's end and from 0
// up to head.
uint64_t place(const FlightRing &r, uint64_t n)
{
    if (r.count == 0)
        return 0;
    const uint64_t tail = r.entries[r.first].offset;
    if (r.head > tail) {
        if (r.capacity - r.head >= n)
            return r.head;
        return n <= tail ? 0 : r.capacity;
    }
    return tail - r.head >= n ? r.head : r.capacity;
}

void grow_entries(FlightRing &r)
{
    std::vector<FlightRingEntry> bigger(r.entries.empty() ? FIRST_ENTRIES : 2 * r.entries.size());
    for (size_t i = 0; i < r.count; i++)
        bigger[i] = flight_ring_at(r, i);
    r.entries.swap(bigger);
    r.first = 0;
}

} // namespace

void flight_ring_init(FlightRing &r, uint64_t capacity)
{
    r = FlightRing{};
    r.capacity = capacity;
    // Not value-initialised: a large ring costs memory only as it fills.
    r.bytes = std::make_unique_for_overwrite<uint8_t[]>(capacity);
}

void flight_ring_expire(FlightRing &r, uint64_t oldest_us)
{
    while (r.count > 0 && r.entries[r.first].time_us < oldest_us)
        pop_oldest(r);
}

bool flight_ring_push(FlightRing &r, RecordType type, uint64_t time_us,
                      std::span<const uint8_t> body)
{
    if (!recording_record_bytes(type, time_us, body, r.scratch) || r.scratch.size() > r.capacity) {
        r.dropped++;
        return false;
    }
    const uint64_t n = r.scratch.size();
    uint64_t at = place(r, n);
    while (at == r.capacity) {
        pop_oldest(r);
        r.dropped++;
        at = place(r, n);
    }
    if (r.count == r.entries.size())
        grow_entries(r);
    memcpy(r.bytes.get() + at, r.scratch.data(), n);
    r.entries[(r.first + r.count) % r.entries.size()] =
        FlightRingEntry{time_us, at, static_cast<uint32_t>(n), type};
    r.count++;
    r.head = at + n;
    r.used += n;
    return true;
}

const FlightRingEntry &flight_ring_at(const FlightRing &r, size_t i)
{
    return r.entries[(r.first + i) % r.entries.size()];
}

std::span<const uint8_t> flight_ring_record(const FlightRing &r, const FlightRingEntry &e)
{
    return {r.bytes.get() + e.offset, e.size};
}

std::span<const uint8_t> flight_ring_body(const FlightRing &r, const FlightRingEntry &e)
{
    return flight_ring_record(r, e).subspan(RECORD_HEAD_SIZE,
                                            e.size - RECORD_HEAD_SIZE - RECORD_CRC_SIZE);
}
