// SPDX-License-Identifier: MIT
// Per-client, per-detector aggregation of samples by centre frequency.
#pragma once

#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>

constexpr size_t AGGREGATE_SLOTS = 512;
// Twice the slots, so that a frequency's probe sequence stays short.
constexpr size_t AGGREGATE_INDEX_SIZE = 1024;

struct AggregateSlot {
    uint32_t count;    // samples merged this period; 0 means free
    uint32_t reshaped; // 1 once a merge replaced the taken slot's sample
    SpectralSample sample;
};

struct SampleAggregate {
    uint64_t last_flush_ms;
    uint32_t period_ms;
    uint32_t slots_used; // the taken slots are always the first slots_used
    // Slot number + 1 of each frequency that took a slot, placed by a hash
    // of the frequency with linear probing; 0 is free. Cleared with the
    // slots, so a zeroed aggregate is an empty one.
    uint16_t index[AGGREGATE_INDEX_SIZE];
    AggregateSlot slots[AGGREGATE_SLOTS];
};

// Index of the slot for freq_mhz: the first taken slot with that frequency,
// else the next free one, else 511 once all are taken.
size_t aggregate_find_slot(const SampleAggregate &aggregate, uint16_t freq_mhz);

// Replaces into by sample when bandwidth or bin count differ, else keeps the
// per-bin maximum, the larger noise and rssi and the newer timestamp.
// Returns true when it replaced.
bool aggregate_merge(SpectralSample &into, const SpectralSample &sample);

// aggregates points to a client's two aggregates, indexed by detector: adds
// sample to aggregates[sample.detector]; detectors above 1 are dropped.
// Never allocates.
void aggregate_add_sample(SampleAggregate *aggregates, const SpectralSample &sample);

// True when that many more frequencies would each still get a slot of their own
// (none falls into the shared last slot).
bool aggregate_has_room(const SampleAggregate &aggregate, size_t frequencies);

// Adds what from holds to into, slot by slot in from's order, with the same
// result as adding from's samples to into one by one in the order they
// reached from, as long as into has room for from's frequencies
// (aggregate_has_room(into, from.slots_used)). Without that room the
// frequencies that share the last slot merge in slot order instead.
void aggregate_fold(SampleAggregate &into, const SampleAggregate &from);

// Frees every slot; the period and the last flush time stay.
void aggregate_clear(SampleAggregate &aggregate);

// Receives one JSON text per taken slot, sample_to_json's (nullptr when it
// could not be made), and owns it: release it with cJSON_free. Returns false
// to stop the flush (the client is gone); the aggregate is then left as it
// is.
using AggregateLineConsumer = bool (*)(void *context, char *text);

// When period_ms has elapsed since last_flush_ms, hands every taken slot to
// consume in slot order, then clears all slots and sets last_flush_ms to the
// monotonic clock's time after the emission. Returns false only when the
// consumer stopped it.
bool aggregate_flush(SampleAggregate &aggregate, uint64_t now_ms, AggregateLineConsumer consume,
                     void *context);
