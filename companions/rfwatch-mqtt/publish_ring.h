// SPDX-License-Identifier: MIT
// The messages waiting for the broker: a ring of at most max-queue entries,
// the oldest dropped first (and counted) when a new one finds it full.
// Entries stay in the ring while libmosquitto holds them and leave it only
// once it confirms them (written for QoS 0, acknowledged for QoS 1), so a
// lost connection resends what was not confirmed and nothing waits
// anywhere beyond max-queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Which topic an entry goes to: spectra and air lines share the one bound.
enum class RingTopic : uint8_t { Spectrum, Air };

struct RingEntry {
    std::string payload;
    RingTopic topic;
    int mid;     // libmosquitto's message id once handed over
    bool handed; // handed to libmosquitto, not confirmed yet
    bool confirmed;
};

struct PublishRing {
    std::vector<RingEntry> entries; // capacity slots, reused
    size_t head, count;
    size_t handed;    // entries in the ring handed and not confirmed
    uint64_t dropped; // pushed out by newer ones
};

void ring_init(PublishRing &r, size_t capacity);
// Appends a copy of payload; when full the oldest entry goes first.
void ring_push(PublishRing &r, std::span<const char> payload,
               RingTopic topic = RingTopic::Spectrum);
// The oldest entry not handed to libmosquitto yet, or nullptr.
RingEntry *ring_next_to_hand(PublishRing &r);
void ring_mark_handed(PublishRing &r, RingEntry &e, int mid);
// libmosquitto confirmed mid: the entry leaves (with every confirmed one
// before it). false: not in the ring (pushed out meanwhile).
bool ring_confirm(PublishRing &r, int mid);
// The connection is gone: what was handed and not confirmed is sent again.
void ring_unhand_all(PublishRing &r);
size_t ring_size(const PublishRing &r);
