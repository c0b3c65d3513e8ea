// SPDX-License-Identifier: MIT
#include "core/sample_pool.h"

#include <sys/mman.h>

SamplePool *sample_pool_new()
{
    // Straight from mmap, as a client is: the pages stay untouched, and
    // free, beyond the few slots a pass fills (see samples.cpp).
    void *mem = mmap(nullptr, sizeof(SamplePool), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED)
        return nullptr;
    madvise(mem, sizeof(SamplePool), MADV_NOHUGEPAGE);
    return static_cast<SamplePool *>(mem);
}

void sample_pool_free(SamplePool *pool)
{
    if (pool != nullptr)
        munmap(pool, sizeof(SamplePool));
}
