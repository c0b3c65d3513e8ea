// SPDX-License-Identifier: MIT
// Reads the driver's sample file in large chunks and hands out one decoded
// report per call. No descriptor is kept: each refill opens, reads once and
// closes.
#pragma once

#include "capture/scan_driver.h"
#include "capture/source_error.h"
#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>

constexpr size_t SPECTRAL_SOURCE_CAPACITY = size_t{2} * 1024 * 1024;

// All zero is the empty state.
struct SpectralSource {
    char *path;      // owned copy of the sample file path
    uint8_t *buffer; // owned, capacity bytes
    size_t capacity; // SPECTRAL_SOURCE_CAPACITY
    size_t filled;   // bytes that the last read delivered
    size_t position; // first byte not yet handed out; never beyond filled
    const ScanDriver *driver;
    // The relay file splits a report only where a read stops at the byte
    // count asked for: after a read that filled the buffer, the incomplete
    // last report is moved to the buffer's start and completed by the next
    // read. carried counts those bytes; source_reset keeps them.
    size_t carried;
    bool last_read_full;
};

// InvalidParameters (source left empty) when memory runs out.
SourceError source_init(SpectralSource &source, const ScanDriver &driver, const char *path);

// Success with sample filled, or the parser's / the refill's failure:
// FileReadError, NoData or InvalidSample. An empty read returns NoData at
// once: pacing the reads is the main loop's, which waits in its poll.
SourceError source_next_sample(SpectralSource &source, SpectralSample &sample);

// Whether reports read earlier are still waiting in the buffer, so that the
// next call decodes without reading the file.
bool source_buffered(const SpectralSource &source);
// Whether the last read stopped at the buffer's size, so that more is
// queued in the file already.
bool source_more_queued(const SpectralSource &source);

// Drops what the buffer still holds (but not a carried tail). nullptr is
// allowed.
void source_reset(SpectralSource *source);
// Releases and zeroes; nullptr and the empty state are allowed.
void source_free(SpectralSource *source);
