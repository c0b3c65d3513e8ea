// SPDX-License-Identifier: MIT
// One decoded FFT report, as the report parsers produce it and the
// aggregates merge it.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest FFT the drivers report (ath11k, 512 bins).
constexpr size_t MAX_SPECTRAL_BINS = 512;

struct SpectralSample {
    uint8_t detector;  // 0 or 1: which of the radio's two report kinds
    uint16_t freq_mhz; // centre frequency of the FFT
    uint16_t bandwidth_mhz;
    int16_t noise_dbm;
    uint16_t rssi;
    uint64_t timestamp; // driver units
    size_t bin_count;   // valid entries in bins, 4 to 512
    // dBm for ath11k, raw magnitudes for ath10k; entries from bin_count on
    // are not written by the parsers.
    float bins[MAX_SPECTRAL_BINS];
};
