// SPDX-License-Identifier: MIT
// Builders of the FFT reports that the ath11k and ath10k drivers append to
// their spectral sample file. One builder for the capture tests, the daemon
// tests and the simulated driver, so they all agree on the bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace wdtest
{

// ath11k: type 4 (detector 0) or 100 (detector 1); 28-byte head, then one
// magnitude byte per bin; all fields big-endian.
struct Ath11kReport {
    uint8_t type = 4;
    uint8_t bandwidth_mhz = 20;
    uint8_t max_exp = 0;     // magnitude exponent
    uint8_t gain = 0;        // >61 switches the magnitude factor to the rssi rule
    uint8_t offset_sub = 0;  // type 100 only
    uint8_t offset_base = 0; // type 100 only
    uint16_t freq_mhz = 2437;
    uint16_t rssi = 0;
    uint32_t timestamp = 0;
    std::vector<uint8_t> bins = std::vector<uint8_t>(64, 0);
    // When set, written instead of 25 + bins.size() (to build invalid ones).
    std::optional<uint16_t> length;
};

// ath10k: type 3; 29-byte head, then one magnitude byte per bin.
struct Ath10kReport {
    uint8_t type = 3;
    uint8_t bandwidth_mhz = 20;
    uint16_t freq_mhz = 2437;
    int16_t noise_dbm = -95; // 0 makes the report invalid
    uint64_t timestamp = 0;
    uint8_t rssi = 0;
    std::vector<uint8_t> bins = std::vector<uint8_t>(64, 0);
    std::optional<uint16_t> length; // default 26 + bins.size()
};

constexpr size_t ATH11K_HEAD = 28;
constexpr size_t ATH10K_HEAD = 29;

// Appends the encoded report to out.
void append_report(std::vector<uint8_t> &out, const Ath11kReport &r);
void append_report(std::vector<uint8_t> &out, const Ath10kReport &r);

template <typename R> std::vector<uint8_t> encode_report(const R &r)
{
    std::vector<uint8_t> out;
    append_report(out, r);
    return out;
}

} // namespace wdtest
