// SPDX-License-Identifier: MIT
// The engine's per-report step: find the frequency's slot, put the report
// in dBm, judge its bins against the tracked floor and count what was busy.
#include "air/air_engine.h"
#include "air/air_channels.h"
#include "air/air_floor.h"
#include "air/air_segments.h"

#include <cstdlib>
#include <cstring>

AirEngine *air_engine_new(const AirSettings &settings, AirDriver driver)
{
    auto *engine = static_cast<AirEngine *>(calloc(1, sizeof(AirEngine)));
    if (!engine)
        return nullptr;
    engine->settings = settings;
    engine->driver = driver;
    engine->next_signal_id = 1;
    return engine;
}

void air_engine_free(AirEngine *engine)
{
    free(engine);
}

namespace
{

// The frequency's slot (where it was last, else a search); else a free
// one; else the one seen longest ago.
AirFrequency &slot_for(AirEngine &engine, uint16_t freq_mhz)
{
    uint8_t &hint = engine.slot_hint[freq_mhz % AIR_SLOT_HINTS];
    if (engine.frequencies[hint].freq_mhz == freq_mhz)
        return engine.frequencies[hint];
    size_t take = 0;
    for (size_t i = 0; i < AIR_MAX_FREQUENCIES; ++i) {
        const AirFrequency &f = engine.frequencies[i];
        const AirFrequency &t = engine.frequencies[take];
        if (f.freq_mhz == freq_mhz) {
            take = i;
            break;
        }
        if (t.freq_mhz != 0 && (f.freq_mhz == 0 || f.last_seen_us < t.last_seen_us))
            take = i;
    }
    hint = static_cast<uint8_t>(take);
    return engine.frequencies[take];
}

// Starts the slot afresh for this capture; the new generation tells each
// cursor that what it remembers of the slot no longer applies.
void restart(AirFrequency &f, const SpectralSample &sample)
{
    const uint32_t generation = f.generation + 1;
    memset(&f, 0, sizeof f);
    f.generation = generation;
    f.freq_mhz = sample.freq_mhz;
    f.bandwidth_mhz = sample.bandwidth_mhz;
    f.bin_count = static_cast<uint16_t>(sample.bin_count);
    f.channel_count = static_cast<uint8_t>(
        air_covered_channels(sample.freq_mhz, sample.bandwidth_mhz, sample.bin_count, f.channels));
    air_tracker_reset(f.tracker);
}

// One pass the compiler vectorises (flags and per-bin counts), the flags
// packed into bits, and each channel's busy bins counted from those.
void count_busy(AirFrequency &f, const float *dbm, float threshold, uint8_t *busy_now,
                uint64_t *bits)
{
    const size_t n = f.bin_count; // read once: the byte stores below may alias it
    uint32_t *busy = f.busy;
    for (size_t j = 0; j < n; ++j) {
        const uint8_t b = dbm[j] >= threshold ? 1 : 0;
        busy_now[j] = b;
        busy[j] += b;
    }
    air_pack_busy(busy_now, n, bits);
    for (size_t c = 0; c < f.channel_count; ++c) {
        AirChannel &ch = f.channels[c];
        const unsigned busy_bins = air_count_busy(bits, ch.first_bin, ch.last_bin);
        // Occupied when at least a quarter of its bins are busy.
        ch.occupied += 4u * busy_bins >= ch.last_bin - ch.first_bin + 1u ? 1u : 0u;
    }
}

} // namespace

void air_engine_add(AirEngine &engine, const SpectralSample &sample)
{
    if (sample.freq_mhz == 0 || sample.bin_count == 0 || sample.bin_count > MAX_SPECTRAL_BINS)
        return;
    const uint64_t now = air_clock_advance(engine.clock, sample.timestamp,
                                           engine.driver == AirDriver::Ath11k);
    AirFrequency &f = slot_for(engine, sample.freq_mhz);
    if (f.freq_mhz != sample.freq_mhz || f.bandwidth_mhz != sample.bandwidth_mhz ||
        f.bin_count != sample.bin_count)
        restart(f, sample);

    const float *dbm = sample.bins;
    if (engine.driver == AirDriver::Ath10k) {
        air_magnitudes_to_dbm(sample, engine.dbm);
        dbm = engine.dbm;
    }
    f.noise_floor_dbm = air_floor_next(f.noise_floor_dbm, f.reports, dbm, f.bin_count);
    const float threshold = f.noise_floor_dbm + engine.settings.margin_db;
    f.reports++;
    f.last_seen_us = now;
    f.last_timestamp = sample.timestamp;
    count_busy(f, dbm, threshold, engine.busy_now, engine.busy_bits);

    AirReport &r = engine.report;
    r.time_us = now;
    r.timestamp = sample.timestamp;
    r.freq_mhz = f.freq_mhz;
    r.bandwidth_mhz = f.bandwidth_mhz;
    r.bin_count = f.bin_count;
    r.mhz_per_bin = static_cast<float>(f.bandwidth_mhz) / static_cast<float>(f.bin_count);
    r.low_mhz = static_cast<float>(f.freq_mhz) - static_cast<float>(f.bandwidth_mhz) / 2;
    r.dbm = dbm;
    r.noise_floor_dbm = f.noise_floor_dbm;
    r.threshold_dbm = threshold;
    r.busy = f.busy;
    r.reports = f.reports;
    r.segment_count =
        static_cast<uint8_t>(air_find_segments_in_bits(engine.busy_bits, dbm, f.bin_count, r.segments));
    air_tracker_update(f.tracker, r, engine.next_signal_id);
}
