// SPDX-License-Identifier: MIT
// A scene: emitters over a noise floor, seen by a capture at one tuning,
// on a virtual clock. Each report is taken at a jittered instant inside a
// slot of its own, as long as the time between two reports; the seed and
// the report's number choose where in the slot. So a program can make any
// report of a scene in-process, without FUSE, and check what an analysis
// made of it against the scene's truth.
#pragma once

#include "emitter.h"
#include "signal_model.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fakeath
{

constexpr size_t MAX_EMITTERS = 16;

// Per emitter and second of the virtual clock: reports taken with the
// emitter able to show in the captured band (its span overlaps it), and
// how many of those showed it on inside the band.
struct TruthCount {
    uint32_t reports = 0;
    uint32_t on = 0;
};

struct Scene {
    Emitter emitters[MAX_EMITTERS];
    size_t emitter_count = 0;
    SignalModel model; // noise floor, jitter and fixed tones (none by default)
    double rate_hz = 200;
    uint64_t seed = 1;
    // The capture.
    double centre_mhz = 2437;
    double width_mhz = 20;
    // Truth of the second being counted, and the finished lines.
    int64_t truth_second = -1;
    TruthCount truth[MAX_EMITTERS];
    std::string truth_lines;
};

// What report k was, beside its spectrum.
struct SceneReport {
    double t_us = 0;                // its instant on the virtual clock
    uint64_t timestamp = 0;         // the same in whole µs, as the report carries it
    bool inside[MAX_EMITTERS] = {}; // emitter's span overlaps the capture
    bool on[MAX_EMITTERS] = {};     // and it transmitted inside it then
};

// Adds an emitter, giving it a seed of its own drawn from the scene's.
// Returns -1 when the scene is full.
int scene_add_emitter(Scene &s, const Emitter &e);
// Retunes the capture (the next reports see the new band).
void scene_tune(Scene &s, double centre_mhz, double width_mhz);
// The instant of report k on the virtual clock, in µs.
double scene_report_time(const Scene &s, uint64_t k);

// Report k: fills mw_out[0..bins) with each bin's power in mW (noise,
// tones and the emitters on at that instant) and counts it in the truth.
// Call with k increasing for a truth that covers each second once; bins
// beyond MAX_BINS are not filled.
SceneReport scene_report_mw(Scene &s, uint64_t k, double *mw_out, size_t bins);
// The same in dBm.
SceneReport scene_report(Scene &s, uint64_t k, double *dbm_out, size_t bins);

// Moves the truth of every finished second (all seconds when flush) into
// out as JSON lines, one per emitter and second:
// {"second":S,"emitter":I,"kind":"microwave","mhz":2450.0,"width_mhz":8.0,
//  "dbm":-50.0,"reports":R,"on":K,"duty":0.500}
// mhz and width_mhz are the emitter's configured centre and width (a
// hopper's: the middle and breadth of its range).
void scene_truth_lines(Scene &s, std::string &out, bool flush);

} // namespace fakeath
