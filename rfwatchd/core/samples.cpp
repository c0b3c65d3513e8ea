// SPDX-License-Identifier: MIT
#include "core/samples.h"

#include "base/clock.h"
#include "base/log.h"
#include "core/client_air.h"
#include "core/clients.h"
#include "radio/channel_plan.h"
#include "radio/sweep_timing.h"

namespace
{

// The first samples of a pass go to each client directly: a pass of a few
// samples would pay for the pool's merge, fold and clear on top.
constexpr int DIRECT_SAMPLES = 8;
// Frequencies the pool takes before it is folded early. A client is only
// pooled for while its aggregates have room for that many more, so that
// the fold gives exactly what adding each sample would (aggregate_fold).
constexpr size_t POOL_FREQUENCIES = 64;

bool pool_fits_every_client(Server &server)
{
    for (Client *c = first_client(server); c; c = next_client(server, c))
        for (const SampleAggregate &a : c->aggregates)
            if (!aggregate_has_room(a, POOL_FREQUENCIES))
                return false;
    return true;
}

void fold_pool(Server &server)
{
    if (server.pool == nullptr)
        return;
    for (size_t d = 0; d < 2; ++d) {
        SampleAggregate &pooled = server.pool->aggregates[d];
        if (pooled.slots_used == 0)
            continue;
        for (Client *c = first_client(server); c; c = next_client(server, c))
            aggregate_fold(c->aggregates[d], pooled);
        aggregate_clear(pooled);
    }
}

// Whether the pool can take sample, folding it first when it is full.
bool pool_takes(Server &server, const SpectralSample &sample)
{
    if (sample.detector > 1)
        return true; // dropped by both ways alike
    const SampleAggregate &pooled = server.pool->aggregates[sample.detector];
    if (pooled.slots_used < POOL_FREQUENCIES ||
        aggregate_find_slot(pooled, sample.freq_mhz) < pooled.slots_used)
        return true;
    fold_pool(server);
    return pool_fits_every_client(server);
}

struct Pass {
    int direct_left;
    bool pooling;
};

void dispatch(Server &server, const SpectralSample &sample, Pass &pass)
{
    // Every report, before pooling merges them: the engine needs each one.
    client_air_feed(server, sample);
    // The band is learnt once, from the first sample, and kept.
    if (server.radio.band == Band::BandUnknown)
        server.radio.band = band_of_frequency(sample.freq_mhz);
    if (sample.bandwidth_mhz != server.current_bandwidth) {
        server.current_bandwidth = sample.bandwidth_mhz;
        server.bandwidth_changed = 1; // the sweep timer step reacts next pass
    }
    if (pass.pooling && pool_takes(server, sample)) {
        aggregate_add_sample(server.pool->aggregates, sample);
        return;
    }
    pass.pooling = false;
    for (Client *c = first_client(server); c; c = next_client(server, c))
        aggregate_add_sample(c->aggregates, sample);
    // Pooling pays from two clients on; the clients cannot change in a pass.
    if (--pass.direct_left == 0 && server.pool != nullptr && server.client_count > 1)
        pass.pooling = pool_fits_every_client(server);
}

} // namespace

int handle_samples(Server &server)
{
    int samples = 0, invalid = 0, skipped = 0, attempts = 0;
    bool failed = false, read_done = false;
    Pass pass{DIRECT_SAMPLES, false};
    while (attempts < SAMPLES_PER_PASS) {
        // One read of the file a pass: when a read costs more than the time
        // between two reports, reading on until the file is empty would
        // hold the loop for a thousand report intervals.
        if (!source_buffered(server.source)) {
            if (read_done)
                break;
            read_done = true;
            server.last_read_ms = monotonic_ms();
        }
        attempts++;
        SourceError r = source_next_sample(server.source, server.sample);
        if (r == SourceError::Success) {
            dispatch(server, server.sample, pass);
            samples++;
            continue;
        }
        if (r == SourceError::FileReadError || r == SourceError::NoData ||
            r == SourceError::EndOfData) {
            // Bytes still buffered are a report cut by the end of the read
            // (not kept for the next one): it is lost.
            if (source_buffered(server.source))
                skipped++;
            source_reset(&server.source);
            break;
        }
        if (r == SourceError::InvalidSample || r == SourceError::UnsupportedSample) {
            invalid++;
            continue;
        }
        log_text("Server: unhandled sample error: %s\n", source_error_message(r));
        failed = true;
        break;
    }
    // Before anything reads the clients' aggregates (the flush step).
    fold_pool(server);
    if (invalid > 0)
        log_text("Detected invalid, samples: %d, invalid: %d, skipped: %d, total attempts: %d\n",
                 samples, invalid, skipped, attempts);

    uint64_t now = monotonic_ms();
    if (samples > 0) {
        server.last_sample_ms = now;
    } else if (now - server.last_sample_ms > SAMPLE_TIMEOUT_MS) {
        // last_sample_ms stays, so every pass re-arms until samples return.
        if (rearm_spectral_scan(server) != 0)
            failed = true;
    }
    return failed ? -1 : 0;
}

uint64_t next_sample_read_ms(const Server &server, uint64_t now)
{
    if (source_buffered(server.source) || source_more_queued(server.source))
        return now;
    return server.last_read_ms + SAMPLE_READ_INTERVAL_MS;
}

int rearm_spectral_scan(Server &server)
{
    if (server.requested_bins != 0)
        server.spectral.bin_count = server.requested_bins;
    ConfigError ce = spectral_set_bins(server.spectral);
    if (ce != ConfigError::Success) {
        log_text("Failed to set updated bin count: %s\n", config_error_message(ce));
        return -1;
    }
    // "background" takes the detector back to the operating channel: an
    // agile sweep's re-arm names its slice again, or the slice got only the
    // reports taken before the re-arm that follows every hop.
    const RadioControl &rc = server.radio;
    ce = sweep_type_is(rc, SweepType::Agile)
             ? spectral_start_agile(server.spectral,
                                    static_cast<int>(rc.channel_freq[rc.channel_index]))
             : spectral_start_background(server.spectral);
    if (ce != ConfigError::Success) {
        log_text("Failed to re-trigger after next sweep channel: %s\n", config_error_message(ce));
        return -1;
    }
    return 0;
}
