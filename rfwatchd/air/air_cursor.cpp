// SPDX-License-Identifier: MIT
// A client's window: the engine's cumulative counters as they stood when
// it began, so each client's figures cover its own period and no other's.
#include "air/air_engine.h"

#include <cstdlib>

AirCursor *air_cursor_new(const AirEngine &engine)
{
    auto *cursor = static_cast<AirCursor *>(calloc(1, sizeof(AirCursor)));
    if (cursor)
        air_cursor_restart(*cursor, engine);
    return cursor;
}

void air_cursor_free(AirCursor *cursor)
{
    free(cursor);
}

void air_cursor_restart(AirCursor &cursor, const AirEngine &engine)
{
    for (size_t i = 0; i < AIR_MAX_FREQUENCIES; ++i) {
        const AirFrequency &f = engine.frequencies[i];
        AirCursorFrequency &c = cursor.frequencies[i];
        c.generation = f.generation;
        c.reports = f.reports;
        for (size_t k = 0; k < AIR_MAX_CHANNELS; ++k)
            c.occupied[k] = f.channels[k].occupied;
        for (size_t k = 0; k < AIR_MAX_SIGNALS; ++k)
            c.signals[k] = {f.tracker.signals[k].id, f.tracker.signals[k].on_reports};
    }
}
