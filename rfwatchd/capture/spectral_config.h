// SPDX-License-Identifier: MIT
// The debugfs spectral control files of one phy: the resolved paths, and
// the words and numbers that start, retune and stop the scan.
#pragma once

#include "capture/config_error.h"

#include <cstddef>
#include <cstdint>

constexpr size_t SPECTRAL_PATH_SIZE = 4096;

struct SpectralConfig {
    char directory[SPECTRAL_PATH_SIZE];
    bool spectral_scan; // spectral_scan_ctl, spectral_bins and spectral_scan0 resolved
    char ctl_path[SPECTRAL_PATH_SIZE];
    char sample_path[SPECTRAL_PATH_SIZE];
    char bins_path[SPECTRAL_PATH_SIZE];
    bool frequency_shift; // freq_shift resolved
    char freq_shift_path[SPECTRAL_PATH_SIZE];
    bool narrow_channels; // chan_bw resolved
    char chan_bw_path[SPECTRAL_PATH_SIZE];
    int32_t bin_count; // set by the daemon, written by spectral_set_bins
};

// Driver-owned values that sweeps save and restore; never interpreted.
struct DriverSettings {
    int64_t chan_bw;
    int64_t freq_shift;
};

// Zeroes cfg and resolves the control files of directory. Missing files only
// clear their feature flags; InvalidDirectory for a missing, non-directory
// or over-long directory.
ConfigError spectral_config_init(SpectralConfig &cfg, const char *directory);

// Path of spectral_scan0 (never null).
const char *spectral_sample_path(const SpectralConfig &cfg);

// Writes twice bin_count to spectral_bins; InvalidParameter for a count of
// 0 or less.
ConfigError spectral_set_bins(const SpectralConfig &cfg);
// "background", then "trigger".
ConfigError spectral_start_background(const SpectralConfig &cfg);
// "agile <freq_mhz>", then "trigger".
ConfigError spectral_start_agile(const SpectralConfig &cfg, int freq_mhz);
// "disable".
ConfigError spectral_stop(const SpectralConfig &cfg);
// "disable", then zeroes cfg whatever the write gave; returns the write's
// code. Safe on a zeroed configuration.
ConfigError spectral_config_cleanup(SpectralConfig &cfg);

// Reads chan_bw and freq_shift for the features that are present; a clear
// flag leaves its value untouched.
ConfigError spectral_read_driver_settings(const SpectralConfig &cfg, DriverSettings &settings);
ConfigError spectral_write_driver_settings(const SpectralConfig &cfg,
                                           const DriverSettings &settings);
