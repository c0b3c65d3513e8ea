// SPDX-License-Identifier: MIT
#include "signal_model.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace fakeath
{

namespace
{

// xorshift64*: reproducible jitter without pulling in <random>'s state.
double next_unit(SignalModel &m)
{
    m.rng ^= m.rng >> 12;
    m.rng ^= m.rng << 25;
    m.rng ^= m.rng >> 27;
    uint64_t v = m.rng * 0x2545f4914f6cdd1dull;
    return static_cast<double>(v >> 11) / static_cast<double>(1ull << 53);
}

bool parse_double(const char *s, char **end, double &out)
{
    errno = 0;
    out = strtod(s, end);
    return *end != s && errno == 0 && std::isfinite(out);
}

} // namespace

int tone_parse(Tone &tone, const char *text)
{
    Tone t;
    const char *p = text;
    if (p[0] == 'c' && (p[1] == '+' || p[1] == '-')) {
        t.relative = true;
        ++p;
    }
    char *end = nullptr;
    if (!parse_double(p, &end, t.freq_mhz) || *end != ':')
        return -1;
    p = end + 1;
    if (!parse_double(p, &end, t.level_dbm))
        return -1;
    if (*end == ':') {
        p = end + 1;
        if (!parse_double(p, &end, t.width_mhz) || t.width_mhz <= 0)
            return -1;
    }
    if (*end != '\0')
        return -1;
    tone = t;
    return 0;
}

int model_add_tone(SignalModel &m, const Tone &tone)
{
    if (m.tone_count >= MAX_TONES)
        return -1;
    m.tones[m.tone_count++] = tone;
    m.cache.valid = false;
    return 0;
}

void model_spectrum(SignalModel &m, double centre_mhz, double width_mhz, size_t bins, double *out)
{
    if (bins > MAX_BINS)
        bins = MAX_BINS;
    model_spectrum_mw(m, centre_mhz, width_mhz, bins, out);
    for (size_t j = 0; j < bins; ++j)
        out[j] = 10 * std::log10(out[j]);
}

void model_spectrum_mw(SignalModel &m, double centre_mhz, double width_mhz, size_t bins,
                       double *out)
{
    if (bins > MAX_BINS)
        bins = MAX_BINS;
    double step = bins ? width_mhz / static_cast<double>(bins) : 0;
    ModelCache &c = m.cache;
    if (!c.valid || c.centre_mhz != centre_mhz || c.width_mhz != width_mhz || c.bins != bins ||
        c.tone_count != m.tone_count || c.jitter_db != m.jitter_db ||
        c.noise_floor_dbm != m.noise_floor_dbm) {
        double low = centre_mhz - width_mhz / 2;
        for (size_t j = 0; j < bins; ++j) {
            double f = low + (static_cast<double>(j) + 0.5) * step;
            double mw = 0;
            for (size_t t = 0; t < m.tone_count; ++t) {
                const Tone &tone = m.tones[t];
                double tf = tone.relative ? centre_mhz + tone.freq_mhz : tone.freq_mhz;
                double d = (f - tf) / tone.width_mhz;
                // A Gaussian a tone-width wide, so a tone narrower than a
                // bin still lands in the bin that holds it.
                double shape = std::exp(-0.5 * d * d);
                if (std::fabs(f - tf) <= step / 2)
                    shape = 1;
                mw += std::pow(10.0, tone.level_dbm / 10) * shape;
            }
            c.tone_mw[j] = mw;
        }
        for (size_t k = 0; k < JITTER_STEPS; ++k) {
            double unit = (static_cast<double>(k) + 0.5) / JITTER_STEPS; // [0, 1)
            double jitter = (unit * 2 - 1) * m.jitter_db;
            c.noise_mw[k] = std::pow(10.0, (m.noise_floor_dbm + jitter) / 10);
        }
        c.centre_mhz = centre_mhz;
        c.width_mhz = width_mhz;
        c.bins = bins;
        c.tone_count = m.tone_count;
        c.jitter_db = m.jitter_db;
        c.noise_floor_dbm = m.noise_floor_dbm;
        c.valid = true;
    }
    for (size_t j = 0; j < bins; ++j) {
        auto k = static_cast<size_t>(next_unit(m) * JITTER_STEPS);
        out[j] = c.noise_mw[k < JITTER_STEPS ? k : JITTER_STEPS - 1] + c.tone_mw[j];
    }
}

} // namespace fakeath
