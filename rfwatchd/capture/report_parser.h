// SPDX-License-Identifier: MIT
// What every parser of the drivers' FFT reports is: a pure function over a
// byte range of the sample buffer, decoding in place and allocating nothing.
// The parsers are in ath11k_report.h and ath10k_report.h.
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
