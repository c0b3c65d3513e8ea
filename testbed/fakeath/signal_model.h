// SPDX-License-Identifier: MIT
// The spectrum fakeath pretends to see: a noise floor with a little jitter
// plus a few narrow tones at fixed frequencies, so that a viewer shows
// peaks that move correctly when the radio is retuned.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fakeath
{

constexpr size_t MAX_TONES = 8;
constexpr size_t MAX_BINS = 512;

struct Tone {
    bool relative = false; // freq is an offset from the centre
    double freq_mhz = 0;
    double level_dbm = -60;
    double width_mhz = 1;
};

constexpr size_t JITTER_STEPS = 256;

// What one tuning costs to work out, kept between reports: the tones'
// power per bin and the noise factors of the jitter. Under an emulated CPU
// the transcendental functions are slow enough that a generator computing
// them per bin and report cannot keep up with a few hundred reports a
// second.
struct ModelCache {
    bool valid = false;
    double centre_mhz = 0, width_mhz = 0, jitter_db = 0, noise_floor_dbm = 0;
    size_t bins = 0, tone_count = 0;
    double tone_mw[MAX_BINS] = {};
    double noise_mw[JITTER_STEPS] = {}; // noise floor times each jitter step
};

struct SignalModel {
    double noise_floor_dbm = -95;
    double jitter_db = 1.5;
    Tone tones[MAX_TONES];
    size_t tone_count = 0;
    uint64_t rng = 0x9e3779b97f4a7c15ull;
    ModelCache cache;
};

// Parses "F:DBM[:WIDTH]" (F in MHz, absolute) or "c+N:DBM[:WIDTH]" /
// "c-N:DBM[:WIDTH]" (relative to the centre). Returns 0 or -1.
int tone_parse(Tone &tone, const char *text);
int model_add_tone(SignalModel &m, const Tone &tone);

// Fills out[0..bins) with the power in dBm of each bin of a capture centred
// on centre_mhz, width_mhz wide. The jitter takes JITTER_STEPS levels
// spread evenly over +-jitter_db.
void model_spectrum(SignalModel &m, double centre_mhz, double width_mhz, size_t bins, double *out);
// The same in mW, for adding emitters in the linear domain without a
// logarithm per bin.
void model_spectrum_mw(SignalModel &m, double centre_mhz, double width_mhz, size_t bins,
                       double *out);

} // namespace fakeath
