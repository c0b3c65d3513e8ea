// SPDX-License-Identifier: MIT
#include "report_gen.h"

#include "spectral_report.h"

#include <algorithm>
#include <cmath>

namespace fakeath
{

namespace
{

uint8_t clamp_byte(long v)
{
    return static_cast<uint8_t>(std::clamp(v, 0l, 255l));
}

} // namespace

Magnitudes to_magnitudes(const double *dbm, size_t bins)
{
    Magnitudes m;
    double peak = -1e9;
    for (size_t j = 0; j < bins; ++j)
        peak = std::max(peak, dbm[j]);
    m.bins.assign(bins, 0);
    for (size_t j = 0; j < bins; ++j) {
        double a = 255.0 * std::pow(10.0, (dbm[j] - peak) / 20);
        m.bins[j] = static_cast<uint8_t>(std::clamp(std::lround(a), 0l, 255l));
    }
    m.peak_dbm = peak;
    return m;
}

Magnitudes to_magnitudes_mw(const double *mw, size_t bins)
{
    Magnitudes m;
    double peak = 0;
    for (size_t j = 0; j < bins; ++j)
        peak = std::max(peak, mw[j]);
    m.bins.assign(bins, 0);
    if (peak <= 0) {
        m.peak_dbm = -1e9;
        return m;
    }
    // Magnitudes are amplitudes: the square root of the power's share.
    for (size_t j = 0; j < bins; ++j) {
        double a = 255.0 * std::sqrt(mw[j] / peak);
        m.bins[j] = static_cast<uint8_t>(std::clamp(std::lround(a), 0l, 255l));
    }
    m.peak_dbm = 10 * std::log10(peak);
    return m;
}

void append_generated_report(std::vector<uint8_t> &out, const ReportParams &p,
                             const double *spectrum_dbm, size_t bins)
{
    append_generated_report(out, p, to_magnitudes(spectrum_dbm, bins));
}

void append_generated_report(std::vector<uint8_t> &out, const ReportParams &p, const Magnitudes &m)
{
    const std::vector<uint8_t> &mag = m.bins;
    const size_t bins = mag.size();
    const double peak = m.peak_dbm;
    if (p.type == 3) {
        wdtest::Ath10kReport r;
        r.bandwidth_mhz = clamp_byte(p.width_mhz);
        r.freq_mhz = p.freq_mhz;
        int noise = p.noise_floor_dbm ? p.noise_floor_dbm : -95;
        r.noise_dbm = static_cast<int16_t>(noise);
        if (p.invalid)
            r.noise_dbm = 0;
        r.timestamp = p.timestamp;
        // The driver's rssi is the whole FFT window's power above the noise,
        // a signed byte; the bins share that power in proportion to m².
        double energy = 0;
        for (uint8_t b : mag)
            energy += static_cast<double>(b) * b;
        double total_dbm = energy > 0 ? peak + 10 * std::log10(energy / (255.0 * 255.0)) : peak;
        long rssi = std::clamp(std::lround(total_dbm - noise), -128l, 127l);
        r.rssi = static_cast<uint8_t>(static_cast<int8_t>(rssi));
        r.bins = mag;
        wdtest::append_report(out, r);
        return;
    }
    wdtest::Ath11kReport r;
    r.type = p.type;
    r.bandwidth_mhz = clamp_byte(p.width_mhz);
    r.freq_mhz = p.freq_mhz;
    r.timestamp = static_cast<uint32_t>(p.timestamp);
    r.gain = 0; // 61 or less: the decoder's magnitude factor is 10^0.25
    r.max_exp = 0;
    if (p.type == 4) {
        // A type-4 bin decodes to rssi - 99 + 10*log10(share of the energy),
        // so rssi = 99 + total power in dBm restores absolute levels.
        // The quantised magnitudes are what the decoder sees, so the total
        // comes from them: 255 stands for the peak's power.
        double energy = 0;
        for (size_t j = 0; j < bins; ++j)
            energy += static_cast<double>(mag[j]) * mag[j];
        double total_dbm = peak + 10 * std::log10(energy / (255.0 * 255.0));
        double rssi = energy > 0 ? 99 + total_dbm : 0;
        r.rssi = static_cast<uint16_t>(std::clamp(std::lround(rssi), 0l, 65535l));
    } else {
        // A type-100 bin decodes to 20*log10(b * 10^0.25) + base - sub - gain - 99.
        long offset = std::lround(peak + 99 - 20 * std::log10(255.0 * std::pow(10.0, 0.25)));
        if (offset >= 0)
            r.offset_base = clamp_byte(offset);
        else
            r.offset_sub = clamp_byte(-offset);
        r.rssi = clamp_byte(std::lround(peak + 99));
    }
    r.bins = mag;
    if (p.invalid)
        r.bins.resize(100, 0);
    wdtest::append_report(out, r);
}

} // namespace fakeath
