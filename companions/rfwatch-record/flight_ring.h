// SPDX-License-Identifier: MIT
// The flight recorder's memory: the last records, each encoded once as it
// will lie in a file, oldest first, in one buffer whose size is the bound.
// A record never wraps (a gap is left at the buffer's end instead), so each
// is one contiguous range; steady state allocates nothing.
#pragma once

#include "recording_format.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct FlightRingEntry {
    uint64_t time_us;
    uint64_t offset; // of the record's first byte in the buffer
    uint32_t size;   // the whole record: head, body and CRC
    RecordType type;
};

struct FlightRing {
    std::unique_ptr<uint8_t[]> bytes;
    uint64_t capacity = 0;
    std::vector<FlightRingEntry> entries; // circular, grown by doubling
    size_t first = 0;                     // index of the oldest entry
    size_t count = 0;
    uint64_t head = 0;    // where the next record goes
    uint64_t used = 0;    // bytes of the records held
    uint64_t dropped = 0; // records pushed out (or refused) by the byte bound
    std::string scratch;  // one record's bytes, reused
};

// capacity: the bytes the ring may hold. Pages of the buffer are touched
// only as records reach them.
void flight_ring_init(FlightRing &r, uint64_t capacity);
// Forgets the records that arrived before oldest_us (not counted as dropped:
// they are simply out of the window).
void flight_ring_expire(FlightRing &r, uint64_t oldest_us);
// Keeps a record, pushing out the oldest while it does not fit. false when
// the record alone is larger than the ring (it is then counted as dropped).
bool flight_ring_push(FlightRing &r, RecordType type, uint64_t time_us,
                      std::span<const uint8_t> body);

// The i-th record held, 0 the oldest.
const FlightRingEntry &flight_ring_at(const FlightRing &r, size_t i);
std::span<const uint8_t> flight_ring_record(const FlightRing &r, const FlightRingEntry &e);
std::span<const uint8_t> flight_ring_body(const FlightRing &r, const FlightRingEntry &e);
