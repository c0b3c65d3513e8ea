// SPDX-License-Identifier: MIT
// Compares two aggregates the way a client would see them: the taken
// slots in order, each slot's count and sample (the bins up to its bin
// count), and the flag a fold relies on.
#pragma once

#include "capture/sample_aggregate.h"

#include <string>

namespace wdtest
{

// Empty when got holds what want holds, else the first difference in words.
std::string aggregate_difference(const SampleAggregate &want, const SampleAggregate &got);

} // namespace wdtest
