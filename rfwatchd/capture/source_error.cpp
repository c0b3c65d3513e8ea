// SPDX-License-Identifier: MIT
#include "capture/source_error.h"

#include <array>
#include <cstddef>

namespace
{

// Indexed by -code.
constexpr std::array source_messages = {
    "Success",
    "Invalid driver",
    "Invalid filename",
    "File not found",
    "File read error",
    "No data available",
    "End of data reached",
    "Invalid sample data",
    "Driver initialization failed",
    "No driver configured",
    "Invalid parameters",
    "Sample cannot be parsed by this driver",
};
static_assert(source_messages.size() ==
                  static_cast<size_t>(-static_cast<int>(SourceError::UnsupportedSample)) + 1,
              "one message per SourceError");

} // namespace

const char *source_error_message(int code)
{
    if (code > 0 || code < -static_cast<int>(source_messages.size() - 1))
        return "Unknown error";
    return source_messages[static_cast<size_t>(-code)];
}

const char *source_error_message(SourceError code)
{
    return source_error_message(static_cast<int>(code));
}
