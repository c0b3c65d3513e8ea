// SPDX-License-Identifier: MIT
// Turns a spectrum in dBm into the bytes of one FFT report, in the driver's
// own format, so that a decoder gets the spectrum back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fakeath
{

struct ReportParams {
    uint8_t type = 4; // 4 or 100 (ath11k), 3 (ath10k)
    uint16_t freq_mhz = 2437;
    uint16_t width_mhz = 20;
    uint64_t timestamp = 0;
    int noise_floor_dbm = -95; // ath10k's noise field
    // An invalid report that is still whole: ath11k gets 100 bins (not an
    // accepted count), ath10k a noise field of 0.
    bool invalid = false;
};

// A spectrum as the report carries it: magnitude bytes with the strongest
// bin at 255, and the power (dBm) that 255 stands for.
struct Magnitudes {
    std::vector<uint8_t> bins;
    double peak_dbm = 0;
};
Magnitudes to_magnitudes(const double *spectrum_dbm, size_t bins);
// The same from powers in mW: one square root a bin, no logarithm, for
// spectra that change every report.
Magnitudes to_magnitudes_mw(const double *spectrum_mw, size_t bins);

// Appends one report carrying the magnitudes to out.
void append_generated_report(std::vector<uint8_t> &out, const ReportParams &p, const Magnitudes &m);
// Appends one report carrying spectrum[0..bins) to out.
//  type 4:   bins hold amplitudes proportional to sqrt(power) and rssi makes
//            the decoder's energy normalisation give back the absolute level.
//  type 100: bins as for type 4 and the offset bytes carry the scale.
//  type 3:   bins are the raw magnitudes (ath10k passes them on undecoded).
void append_generated_report(std::vector<uint8_t> &out, const ReportParams &p,
                             const double *spectrum_dbm, size_t bins);

} // namespace fakeath
