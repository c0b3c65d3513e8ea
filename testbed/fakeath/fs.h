// SPDX-License-Identifier: MIT
// Serves a Sim as the driver's debugfs directory over FUSE.
#pragma once

#include "options.h"

namespace fakeath
{

// Mounts, serves until SIGTERM/SIGINT, unmounts. Returns the exit status.
int serve_spectral_files(Options &opts);

} // namespace fakeath
