// Parsers of the drivers' FFT reports: pure functions over a byte range of
// the sample buffer, decoding in place and allocating nothing.
#pragma once

#include "capture/source_error.h"
#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>

// Sets consumed to 0 on entry; on return it counts the bytes from the start
// of the range that the caller must skip, on success and on failure alike.
// Returns Success, NoData (no whole report in the range) or InvalidSample
// (a whole report that is not acceptable). On failure sample is untouched.
using ReportParser = SourceError (*)(const uint8_t *data, size_t length, SpectralSample &sample,
                                     size_t &consumed);

// ath11k reports of type 4 (detector 0) and 100 (detector 1), after
// skipping any bytes that precede them; bins become dBm values.
SourceError parse_ath11k_report(const uint8_t *data, size_t length, SpectralSample &sample,
                                size_t &consumed);

// ath10k reports of type 3 starting at the first byte; bins are the raw
// magnitudes.
SourceError parse_ath10k_report(const uint8_t *data, size_t length, SpectralSample &sample,
                                size_t &consumed);
