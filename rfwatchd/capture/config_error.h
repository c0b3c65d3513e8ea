// SPDX-License-Identifier: MIT
// Result codes of the spectral control files.
#pragma once

#include <cstdint>

enum class ConfigError : uint32_t {
    Success = 0,
    InvalidDirectory = 1,
    InvalidParameter = 2,
    FilesNotFound = 3,
    WriteFailed = 4,
    AccessDenied = 5,
    PathError = 6,
    DriverFeatureError = 7,
};

// Constant message of a code; any other value gives "Unknown error".
const char *config_error_message(ConfigError code);
const char *config_error_message(unsigned code);
