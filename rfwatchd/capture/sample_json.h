// SPDX-License-Identifier: MIT
// The JSON sample message: one line per aggregated frequency.
#pragma once

#include "capture/spectral_sample.h"

#include <cstdint>

// The unformatted JSON object of one aggregated sample (no line end), or
// nullptr when it cannot be built. Release with cJSON_free.
char *sample_to_json(const SpectralSample &sample, uint32_t count);
