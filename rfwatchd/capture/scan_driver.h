// SPDX-License-Identifier: MIT
// The drivers that serve spectral scans, and which one a phy has.
#pragma once

#include "capture/report_parser.h"

#include <cstddef>
#include <cstdint>

// A driver that serves spectral scans. Entries are referred to, never
// copied: name is the last component of the driver directory.
struct ScanDriver {
    const char *name;
    ReportParser parse;
};

constexpr size_t SCAN_DRIVER_COUNT = 2;
// "ath11k" (parse_ath11k_report), then "ath10k" (parse_ath10k_report).
extern const ScanDriver scan_drivers[SCAN_DRIVER_COUNT];

// The driver serving phy<index> in debugfs (ath11k wins when both are
// there), or nullptr after printing what was checked.
const ScanDriver *find_spectral_driver(uint32_t phy_index);
