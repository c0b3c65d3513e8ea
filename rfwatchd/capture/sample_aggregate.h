// Per-client, per-detector aggregation of samples by centre frequency.
#pragma once

#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>

constexpr size_t AGGREGATE_SLOTS = 512;

struct AggregateSlot {
    uint32_t count; // samples merged this period; 0 means free
    SpectralSample sample;
};

struct SampleAggregate {
    uint64_t last_flush_ms;
    uint32_t period_ms;
    uint32_t slots_used; // the taken slots are always the first slots_used
    AggregateSlot slots[AGGREGATE_SLOTS];
};

// Index of the slot for freq_mhz: the first taken slot with that frequency,
// else the next free one, else 511 once all are taken.
size_t aggregate_find_slot(const SampleAggregate &aggregate, uint16_t freq_mhz);

// Replaces into by sample when bandwidth or bin count differ, else keeps the
// per-bin maximum, the larger noise and rssi and the newer timestamp.
void aggregate_merge(SpectralSample &into, const SpectralSample &sample);

// aggregates points to a client's two aggregates, indexed by detector: adds
// sample to aggregates[sample.detector]; detectors above 1 are dropped.
// Never allocates.
void aggregate_add_sample(SampleAggregate *aggregates, const SpectralSample &sample);

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
