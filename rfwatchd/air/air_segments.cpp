#include "air/air_segments.h"

#include <cstring>

namespace
{

// Keeps the strongest: a new run goes in while there is room, else in
// place of the weakest kept when it is stronger.
void keep(AirSegment *out, size_t &count, const AirSegment &run)
{
    if (count < AIR_MAX_SEGMENTS) {
        out[count++] = run;
        return;
    }
    size_t weakest = 0;
    for (size_t i = 1; i < count; ++i)
        if (out[i].peak_dbm < out[weakest].peak_dbm)
            weakest = i;
    if (run.peak_dbm <= out[weakest].peak_dbm)
        return;
    // Shift to keep bin order.
    for (size_t i = weakest; i + 1 < count; ++i)
        out[i] = out[i + 1];
    out[count - 1] = run;
}

} // namespace

size_t air_find_segments(const uint8_t *busy, const float *dbm, size_t n, AirSegment *out)
{
    size_t count = 0;
    AirSegment run{};
    bool open = false;
    for (size_t j = 0; j < n; ++j) {
        // Quiet stretches, most of a spectrum, eight bins at a time.
        uint64_t eight = 0;
        if (j + 8 <= n && (j & 7) == 0 && (memcpy(&eight, busy + j, 8), eight == 0)) {
            j += 7;
            continue;
        }
        if (!busy[j])
            continue;
        const auto bin = static_cast<uint16_t>(j);
        // Joined to the open run across at most one quiet bin.
        if (open && bin <= run.last_bin + 2) {
            run.last_bin = bin;
            if (dbm[j] > run.peak_dbm) {
                run.peak_dbm = dbm[j];
                run.peak_bin = bin;
            }
            continue;
        }
        if (open)
            keep(out, count, run);
        run = AirSegment{bin, bin, dbm[j], bin};
        open = true;
    }
    if (open)
        keep(out, count, run);
    return count;
}
