// SPDX-License-Identifier: MIT
// Where the sample step merges one pass's samples once, whatever the number
// of clients, before folding the result into every client's aggregates:
// with many reports a pass and few frequencies, one merge a report instead
// of one a report and client.
#pragma once

#include "capture/sample_aggregate.h"

struct SamplePool {
    SampleAggregate aggregates[2]; // by detector, as a client's
};

// A zeroed pool, or nullptr when there is no memory for one (the sample
// step then adds every sample to every client, as it can anyway).
SamplePool *sample_pool_new();
void sample_pool_free(SamplePool *pool);
