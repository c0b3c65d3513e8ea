#include "core/samples.h"

#include "base/clock.h"
#include "base/log.h"
#include "core/clients.h"
#include "radio/channel_plan.h"

namespace
{

void dispatch(Server &server, const SpectralSample &sample)
{
    // The band is learnt once, from the first sample, and kept.
    if (server.radio.band == Band::BandUnknown)
        server.radio.band = band_of_frequency(sample.freq_mhz);
    if (sample.bandwidth_mhz != server.current_bandwidth) {
        server.current_bandwidth = sample.bandwidth_mhz;
        server.bandwidth_changed = 1; // the sweep timer step reacts next pass
    }
    for (Client *c = first_client(server); c; c = next_client(server, c))
        aggregate_add_sample(c->aggregates, sample);
}

} // namespace

int handle_samples(Server &server)
{
    int samples = 0, invalid = 0, attempts = 0;
    bool failed = false;
    while (attempts < SAMPLES_PER_PASS) {
        attempts++;
        SourceError r = source_next_sample(server.source, server.sample);
        if (r == SourceError::Success) {
            dispatch(server, server.sample);
            samples++;
            continue;
        }
        if (r == SourceError::FileReadError || r == SourceError::NoData ||
            r == SourceError::EndOfData) {
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
    if (invalid > 0)
        log_text("Detected invalid, samples: %d, invalid: %d, skipped: %d, total attempts: %d\n",
                 samples, invalid, 0, attempts);

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

int rearm_spectral_scan(Server &server)
{
    if (server.requested_bins != 0)
        server.spectral.bin_count = server.requested_bins;
    ConfigError ce = spectral_set_bins(server.spectral);
    if (ce != ConfigError::Success) {
        log_text("Failed to set updated bin count: %s\n", config_error_message(ce));
        return -1;
    }
    ce = spectral_start_background(server.spectral);
    if (ce != ConfigError::Success) {
        log_text("Failed to re-trigger after next sweep channel: %s\n", config_error_message(ce));
        return -1;
    }
    return 0;
}
