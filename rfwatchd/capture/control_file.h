// SPDX-License-Identifier: MIT
// File work under the spectral control operations: each word is its own
// open, write and close, each number its own open, read and close.
#pragma once

#include "capture/config_error.h"

#include <cstdint>

// Formats "<directory>/<name>" into path (SPECTRAL_PATH_SIZE bytes) and
// checks that it exists and, when need_write is set, that it is writable.
// InvalidDirectory, path untouched, when the path would not fit.
ConfigError resolve_control_file(const char *directory, const char *name, char *path,
                                 bool need_write);

// Writes text, without a line end, truncating the file first.
ConfigError write_control_file(const char *path, const char *text);

// Reads one decimal number from the first line of path.
ConfigError read_control_number(const char *path, int64_t &value);
