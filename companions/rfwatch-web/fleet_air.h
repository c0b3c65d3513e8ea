// SPDX-License-Identifier: MIT
// What the fleet page shows of each radio's air: its worst channel quality
// and its strongest named non-Wi-Fi signals, over the centre frequencies
// its air lines covered lately (a sweeping radio sends one per frequency).
// Fixed memory per radio, so a fleet of radios costs a known amount.
#pragma once

#include "air_line.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t FLEET_AIR_FREQS = 4;   // centre frequencies remembered per radio
constexpr size_t FLEET_AIR_SIGNALS = 4; // signals shown per radio
// A frequency whose air line is older than this no longer counts (the
// page drops its own air lines after the same time).
constexpr int64_t FLEET_AIR_FRESH_US = int64_t{10} * 1000000;

struct FleetAirSignal {
    std::string cls;
    double mhz = 0, dbm = 0, duty = 0;
    double weight = 0; // its cost to a channel's quality, as the daemon weighs it
};

struct FleetAirFreq {
    uint16_t freq_mhz = 0;
    int64_t heard_us = 0;
    int quality = 100; // the line's worst channel
    size_t signal_count = 0;
    std::array<FleetAirSignal, FLEET_AIR_SIGNALS> signals;
};

struct FleetAir {
    size_t count = 0;
    std::array<FleetAirFreq, FLEET_AIR_FREQS> freqs;
};

// The summary sent to the page; quality -1: no air line lately.
struct FleetAirSummary {
    int quality = -1;
    size_t signal_count = 0;
    std::array<FleetAirSignal, FLEET_AIR_SIGNALS> signals;
};

// Keeps line in place of the same frequency's older one, else of the
// frequency heard of longest ago.
void fleet_air_note(FleetAir &a, const AirLine &line, int64_t now_us);
// The worst quality and the heaviest non-Wi-Fi signals of the frequencies
// heard within FLEET_AIR_FRESH_US of now_us, heaviest first.
FleetAirSummary fleet_air_summary(const FleetAir &a, int64_t now_us);
