#include "capture/sample_aggregate.h"
#include "capture/sample_json.h"

#include "base/clock.h"

#include <cstring>

size_t aggregate_find_slot(const SampleAggregate &aggregate, uint16_t freq_mhz)
{
    size_t used = aggregate.slots_used < AGGREGATE_SLOTS ? aggregate.slots_used : AGGREGATE_SLOTS;
    for (size_t i = 0; i < used; ++i) {
        if (aggregate.slots[i].sample.freq_mhz == freq_mhz)
            return i;
    }
    // Once every slot is taken, new frequencies all land in the last one.
    return used < AGGREGATE_SLOTS ? used : AGGREGATE_SLOTS - 1;
}

void aggregate_merge(SpectralSample &into, const SpectralSample &sample)
{
    if (into.bandwidth_mhz != sample.bandwidth_mhz || into.bin_count != sample.bin_count) {
        into = sample;
        return;
    }
    if (sample.noise_dbm > into.noise_dbm)
        into.noise_dbm = sample.noise_dbm;
    if (sample.rssi > into.rssi)
        into.rssi = sample.rssi;
    into.timestamp = sample.timestamp;
    size_t n = into.bin_count < MAX_SPECTRAL_BINS ? into.bin_count : MAX_SPECTRAL_BINS;
    for (size_t j = 0; j < n; ++j)
        into.bins[j] = into.bins[j] > sample.bins[j] ? into.bins[j] : sample.bins[j];
}

void aggregate_add_sample(SampleAggregate *aggregates, const SpectralSample &sample)
{
    if (aggregates == nullptr || sample.detector > 1)
        return;
    SampleAggregate &aggregate = aggregates[sample.detector];
    AggregateSlot &slot = aggregate.slots[aggregate_find_slot(aggregate, sample.freq_mhz)];
    // A free slot was zeroed at the last flush: its bin count of 0 differs
    // from any sample's, so the merge copies the sample in whole.
    aggregate_merge(slot.sample, sample);
    if (slot.count++ == 0)
        ++aggregate.slots_used;
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
    for (size_t i = 0; i < aggregate.slots_used && i < AGGREGATE_SLOTS; ++i) {
        const AggregateSlot &slot = aggregate.slots[i];
        if (slot.count == 0)
            continue;
        if (!consume(context, sample_to_json(slot.sample, slot.count)))
            return false;
    }
    // Slots are taken in order and only the first slots_used are ever
    // written, so clearing those clears all 512: a whole clear would write
    // a megabyte per aggregate every period and keep every page resident.
    size_t used = aggregate.slots_used < AGGREGATE_SLOTS ? aggregate.slots_used : AGGREGATE_SLOTS;
    memset(aggregate.slots, 0, used * sizeof aggregate.slots[0]);
    aggregate.slots_used = 0;
    aggregate.last_flush_ms = monotonic_ms();
    return true;
}
