// SPDX-License-Identifier: MIT
// Result codes of the sample source and of the report parsers.
#pragma once

#include <cstdint>

enum class SourceError : int32_t {
    Success = 0,
    InvalidDriver = -1,
    InvalidFilename = -2,
    FileNotFound = -3,
    FileReadError = -4,
    NoData = -5,
    EndOfData = -6,
    InvalidSample = -7,
    DriverInitFailed = -8,
    NoDriver = -9,
    InvalidParameters = -10,
    UnsupportedSample = -11,
};

// Constant message of a code; any value outside the table gives
// "Unknown error".
const char *source_error_message(SourceError code);
const char *source_error_message(int code);
