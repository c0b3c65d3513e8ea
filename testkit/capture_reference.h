// SPDX-License-Identifier: MIT
// Straightforward constructions that the capture library's fast paths are
// measured and checked against: the JSON sample message with one cJSON raw
// item and one snprintf per bin, and the ath11k power rule with libm's
// logarithm per bin.
#pragma once

#include "capture/spectral_sample.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace wdtest
{

// What a bin reads as in the JSON line: the whole "%.2f" text of a finite
// value (every float fits), null for NaN and the infinities.
std::string reference_bin_text(float value);

// The JSON line as cJSON_PrintUnformatted gives it (free with cJSON_free),
// or nullptr; each bin as reference_bin_text gives it.
char *reference_sample_to_json(const SpectralSample &sample, uint32_t count);

// Decodes the bins of one whole, valid ath11k report starting at report
// (type byte first) into out, bin_count values.
void reference_ath11k_bins(const uint8_t *report, size_t bin_count, float *out);

// The same rule in double precision throughout, the energy summed in bin
// order: what the decoder's accuracy is measured against.
void reference_ath11k_bins_double(const uint8_t *report, size_t bin_count, double *out);

} // namespace wdtest
