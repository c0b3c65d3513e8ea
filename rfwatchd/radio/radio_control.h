// SPDX-License-Identifier: MIT
// Records shared by the radio-control operations: the monitor and primary
// interfaces, the discovery result the daemon fills, and the sweep state of
// the one monitor phy.
#pragma once

#include <cstddef>
#include <cstdint>

struct SpectralConfig; // the daemon's spectral control files (capture)
struct ScanDriver;     // driver-table entry (capture)

inline constexpr uint32_t MAX_PRIMARIES = 8;
inline constexpr uint32_t MAX_SWEEP_CHANNELS = 512;
// Same as the kernel's IFNAMSIZ: 15 characters and the NUL.
inline constexpr size_t INTERFACE_NAME_SIZE = 16;
inline constexpr size_t SPECTRAL_DIR_SIZE = 4096;

enum class SweepType : uint32_t { Idle = 0, Active = 1, Agile = 2 };
inline constexpr size_t SWEEP_TYPE_COUNT = static_cast<size_t>(SweepType::Agile) + 1;

enum class Band : uint32_t { BandUnknown = 0, Band2GHz = 1, Band5GHz = 2, Band6GHz = 3 };

struct InterfaceInfo {
    char name[INTERFACE_NAME_SIZE]; // NUL-terminated
    // Negative: never set up; every operation that would send a message
    // for the interface refuses it.
    int32_t ifindex;
    uint32_t phy; // N of phyN
};

struct DiscoveredInterface {
    char spectral_dir[SPECTRAL_DIR_SIZE]; // /sys/kernel/debug/ieee80211/phy%u/<driver>
    InterfaceInfo monitor;
    InterfaceInfo primaries[MAX_PRIMARIES]; // share the monitor's phy
    uint32_t primary_count;
    const ScanDriver *driver; // entry of the driver table, not owned
};

struct RadioControl {
    SweepType sweep_type;
    SpectralConfig *spectral; // not owned
    InterfaceInfo monitor;
    InterfaceInfo primaries[MAX_PRIMARIES];
    uint32_t primary_count;
    Band band;               // BandUnknown until the first decoded sample
    uint64_t sweep_start_ms; // monotonic ms
    uint32_t duration_ms;    // 0: the sweep runs until cancelled
    uint32_t remaining_ms;   // updated by sweep_expired
    uint32_t dwell_ms;
    uint64_t last_hop_ms; // monotonic ms of the last successful tuning
    uint32_t channel_count;
    uint32_t channel_index;
    uint32_t channel_freq[MAX_SWEEP_CHANNELS];  // MHz, centre of the whole channel or slice
    uint32_t channel_width[MAX_SWEEP_CHANNELS]; // MHz
    // Bit 0: the primary was up when the last active sweep took it down.
    uint8_t primary_was_up[MAX_PRIMARIES];
};

// Clears the record and fills it from discovery; must run before any other
// radio-control operation on it.
void init_radio_control(RadioControl &rc, const DiscoveredInterface &found,
                        SpectralConfig &spectral);
