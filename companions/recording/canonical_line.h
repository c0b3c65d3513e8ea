// The frame of a spectrum line written exactly as rfwatchd writes it, read
// straight from the text: the recorder's fast path, which spares it the
// general JSON parse of every line.
#pragma once

#include "frame.h"

#include <string_view>

// false when line is not in the daemon's own form (member order, no
// spaces, whole numbers, bins with two decimals or null, at most
// FRAME_MAX_BINS, each within what a frame holds). true does not promise
// that the frame writes the line again: the caller still compares.
bool frame_from_canonical_line(std::string_view line, SpectrumFrame &out);
