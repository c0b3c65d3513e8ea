// SPDX-License-Identifier: MIT
#include "capture/scan_driver.h"

#include "capture/ath10k_report.h"
#include "capture/ath11k_report.h"

#include "base/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

const ScanDriver scan_drivers[SCAN_DRIVER_COUNT] = {
    {"ath11k", parse_ath11k_report},
    {"ath10k", parse_ath10k_report},
};

const ScanDriver *find_spectral_driver(uint32_t phy_index)
{
    char ath10k[256];
    char ath11k[256];
    snprintf(ath10k, sizeof ath10k, "/sys/kernel/debug/ieee80211/phy%u/ath10k", phy_index);
    snprintf(ath11k, sizeof ath11k, "/sys/kernel/debug/ieee80211/phy%u/ath11k", phy_index);

    // ath11k first: a phy that shows both is served by ath11k.
    if (access(ath11k, F_OK) == 0) {
        log_text("phy%u: Found ath11k driver directory at %s\n", phy_index, ath11k);
        return &scan_drivers[0];
    }
    int ath11k_errno = errno;
    if (access(ath10k, F_OK) == 0) {
        log_text("phy%u: Found ath10k driver directory at %s\n", phy_index, ath10k);
        return &scan_drivers[1];
    }
    int ath10k_errno = errno;
    log_text("phy%u: No ath10k or ath11k driver directories found in debugfs\n", phy_index);
    log_text("  Checked: %s\n", ath10k);
    log_text("  Checked: %s\n", ath11k);
    log_text("  Hint: Ensure debugfs is mounted and phy%u has spectral capabilities\n", phy_index);
    // "Not found" may mean "not allowed to look" (debugfs is root's): say
    // which, when the check itself failed.
    if (ath10k_errno != ENOENT)
        log_text("  Could not check %s: %s\n", ath10k, strerror(ath10k_errno));
    else if (ath11k_errno != ENOENT)
        log_text("  Could not check %s: %s\n", ath11k, strerror(ath11k_errno));
    return nullptr;
}
