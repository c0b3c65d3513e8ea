// SPDX-License-Identifier: MIT
// SigMF (core 1.0.0): NAME.sigmf-data holds the spectra one after another,
// n float32 little-endian dBm each (NaN for a null bin); NAME.sigmf-meta
// describes them: a capture wherever the centre, width or bin count
// changes, an annotation per signal of the air lines. Captures and
// annotations are streamed to temporary files in the directory and the
// meta assembled from them at the end: constant memory for any recording.
#pragma once

#include "air_line.h"
#include "export_signals.h"
#include "recording_format.h"
#include "sample_line.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>

struct SpectrumMark {
    uint64_t time_us;
    uint64_t sample; // its first float
};

struct SigmfExport {
    std::string data_path, meta_path;
    bool created = false; // data_path is ours to remove on failure
    bool failed = false;  // an entry of the meta could not be made
    FILE *data = nullptr;
    FILE *captures = nullptr;    // ",{...}" per capture, already unlinked
    FILE *annotations = nullptr; // the same for annotations
    uint64_t samples = 0;        // floats written
    uint64_t capture_count = 0, annotation_count = 0;
    uint16_t freq_mhz = 0, bandwidth_mhz = 0;
    size_t bins = 0;
    std::string driver;              // the header's, else the first spectrum's
    std::deque<SpectrumMark> recent; // bounded: where an air window began
    SignalRuns runs;
    std::string scratch;
};

// Creates dir when missing; refuses when NAME.sigmf-data or NAME.sigmf-meta
// exists there (a pair is never half replaced). false: error says why.
bool sigmf_open(SigmfExport &s, const char *in, const char *dir, std::string &error);
void sigmf_spectrum(SigmfExport &s, const SpectrumLine &line, uint64_t arrived_us);
void sigmf_air(SigmfExport &s, const AirLine &air, uint64_t arrived_us);
// Writes the meta; false (error says why) leaves neither file behind.
bool sigmf_close(SigmfExport &s, const RecordingHeader &header, std::string &error);
// After a failure elsewhere: removes what was begun.
void sigmf_abandon(SigmfExport &s);
