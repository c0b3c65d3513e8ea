// SPDX-License-Identifier: MIT
// Feeds a file of diagnostic records into a FIFO at the driver's fw_diag
// path, standing in for the firmware's debugfs stream.
#pragma once

#include "options.h"

namespace fakeath
{

int feed_fw_diag(const Options &opts);

} // namespace fakeath
