// SPDX-License-Identifier: MIT
// Contract checks inside the libFuzzer harnesses: a broken contract stops
// the run as a crash does, so libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace wdtest
{

[[noreturn]] inline void fuzz_contract_broken(const char *what, const char *file, int line)
{
    fprintf(stderr, "contract broken: %s (%s:%d)\n", what, file, line);
    abort();
}

} // namespace wdtest

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0)                                                            \
                 : wdtest::fuzz_contract_broken(#condition, __FILE__, __LINE__))
