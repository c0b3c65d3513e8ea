#include "capture/source_error.h"

#include <array>
#include <cstddef>

namespace
{

// Indexed by -code.
constexpr std::array<const char *, 12> source_messages = {
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
