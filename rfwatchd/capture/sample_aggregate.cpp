// SPDX-License-Identifier: MIT
#include "capture/sample_aggregate.h"
#include "capture/sample_json.h"

#include "base/clock.h"

#include <cstring>

namespace
{

constexpr size_t INDEX_MASK = AGGREGATE_INDEX_SIZE - 1;
static_assert((AGGREGATE_INDEX_SIZE & INDEX_MASK) == 0 && AGGREGATE_INDEX_SIZE > AGGREGATE_SLOTS,
              "the index is a power of two with a free entry always left");

size_t slots_taken(const SampleAggregate &aggregate)
{
    return aggregate.slots_used < AGGREGATE_SLOTS ? aggregate.slots_used : AGGREGATE_SLOTS;
}

// Fibonacci hashing: the top bits of the product spread the channel
// frequencies, which are mostly multiples of 5 or 20, over the whole index.
size_t index_home(uint16_t freq_mhz)
{
    return (uint32_t{freq_mhz} * 2654435769u) >> 22;
}
static_assert(AGGREGATE_INDEX_SIZE == 1024, "index_home keeps 10 bits");

// Records that freq_mhz took slot, in the first free entry of its probe
// sequence (there always is one: at most 512 of the 1024 are taken).
void index_insert(SampleAggregate &aggregate, uint16_t freq_mhz, size_t slot)
{
    size_t h = index_home(freq_mhz);
    for (size_t probes = 0; probes < AGGREGATE_INDEX_SIZE; ++probes, h = (h + 1) & INDEX_MASK) {
        if (aggregate.index[h] == 0) {
            aggregate.index[h] = static_cast<uint16_t>(slot + 1);
            return;
        }
    }
}

// The slot for freq_mhz, taking it (and counting it as used) when free.
AggregateSlot &slot_for(SampleAggregate &aggregate, uint16_t freq_mhz)
{
    size_t i = aggregate_find_slot(aggregate, freq_mhz);
    AggregateSlot &slot = aggregate.slots[i];
    if (slot.count == 0) {
        index_insert(aggregate, freq_mhz, i);
        ++aggregate.slots_used;
    }
    return slot;
}

} // namespace

size_t aggregate_find_slot(const SampleAggregate &aggregate, uint16_t freq_mhz)
{
    size_t used = slots_taken(aggregate);
    size_t h = index_home(freq_mhz);
    for (size_t probes = 0; probes < AGGREGATE_INDEX_SIZE; ++probes, h = (h + 1) & INDEX_MASK) {
        uint16_t entry = aggregate.index[h];
        if (entry == 0)
            break;
        // The last slot takes on the frequency of whatever replaces its
        // sample once all are taken, so an entry is only a candidate.
        size_t i = entry - 1u;
        if (i < used && aggregate.slots[i].sample.freq_mhz == freq_mhz)
            return i;
    }
    // Once every slot is taken, new frequencies all land in the last one.
    return used < AGGREGATE_SLOTS ? used : AGGREGATE_SLOTS - 1;
}

bool aggregate_merge(SpectralSample &into, const SpectralSample &sample)
{
    if (into.bandwidth_mhz != sample.bandwidth_mhz || into.bin_count != sample.bin_count) {
        into = sample;
        return true;
    }
    if (sample.noise_dbm > into.noise_dbm)
        into.noise_dbm = sample.noise_dbm;
    if (sample.rssi > into.rssi)
        into.rssi = sample.rssi;
    into.timestamp = sample.timestamp;
    size_t n = into.bin_count < MAX_SPECTRAL_BINS ? into.bin_count : MAX_SPECTRAL_BINS;
    for (size_t j = 0; j < n; ++j)
        into.bins[j] = into.bins[j] > sample.bins[j] ? into.bins[j] : sample.bins[j];
    return false;
}

void aggregate_add_sample(SampleAggregate *aggregates, const SpectralSample &sample)
{
    if (aggregates == nullptr || sample.detector > 1)
        return;
    AggregateSlot &slot = slot_for(aggregates[sample.detector], sample.freq_mhz);
    // A free slot was zeroed at the last flush: its bin count of 0 differs
    // from any sample's, so the merge copies the sample in whole.
    bool replaced = aggregate_merge(slot.sample, sample);
    if (slot.count++ != 0 && replaced)
        slot.reshaped = 1;
}

bool aggregate_has_room(const SampleAggregate &aggregate, size_t frequencies)
{
    return slots_taken(aggregate) + frequencies <= AGGREGATE_SLOTS;
}

// Adding samples s1..sn one by one to a taken slot X ends in what they make
// of a free slot, S, unless no replacement happened among them: then in
// merge(X, S), which replaces X when its shape differs from theirs. (Once
// s_k replaces, everything before it is gone in both.)
void aggregate_fold(SampleAggregate &into, const SampleAggregate &from)
{
    for (size_t i = 0; i < slots_taken(from); ++i) {
        const AggregateSlot &source = from.slots[i];
        if (source.count == 0)
            continue;
        AggregateSlot &slot = slot_for(into, source.sample.freq_mhz);
        if (slot.count == 0) {
            slot.sample = source.sample;
            slot.reshaped = source.reshaped;
        } else if (source.reshaped) {
            slot.sample = source.sample;
            slot.reshaped = 1;
        } else if (aggregate_merge(slot.sample, source.sample)) {
            slot.reshaped = 1;
        }
        slot.count += source.count;
    }
}

void aggregate_clear(SampleAggregate &aggregate)
{
    // Slots are taken in order and only the first slots_used are ever
    // written, so clearing those clears all 512: a whole clear would write
    // a megabyte per aggregate every period and keep every page resident.
    memset(aggregate.slots, 0, slots_taken(aggregate) * sizeof aggregate.slots[0]);
    memset(aggregate.index, 0, sizeof aggregate.index);
    aggregate.slots_used = 0;
}

bool aggregate_flush(SampleAggregate &aggregate, uint64_t now_ms, AggregateLineConsumer consume,
                     void *context)
{
    if (now_ms - aggregate.last_flush_ms < aggregate.period_ms)
        return true;
    if (aggregate.slots_used == 0) {
        aggregate.last_flush_ms = now_ms;
        return true;
    }
    for (size_t i = 0; i < slots_taken(aggregate); ++i) {
        const AggregateSlot &slot = aggregate.slots[i];
        if (slot.count == 0)
            continue;
        if (!consume(context, sample_to_json(slot.sample, slot.count)))
            return false;
    }
    aggregate_clear(aggregate);
    aggregate.last_flush_ms = monotonic_ms();
    return true;
}
