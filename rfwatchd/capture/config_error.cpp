// SPDX-License-Identifier: MIT
#include "capture/config_error.h"

#include <array>
#include <cstddef>

namespace
{

// Indexed by code.
constexpr std::array config_messages = {
    "Success",
    "Invalid directory or path too long",
    "Invalid parameter",
    "Required spectral files not found",
    "Failed to write to file",
    "File access permission denied",
    "Error while performing path operations",
    "Problem while interacting with a driver feature",
};
static_assert(config_messages.size() == static_cast<size_t>(ConfigError::DriverFeatureError) + 1,
              "one message per ConfigError");

} // namespace

const char *config_error_message(unsigned code)
{
    if (code >= config_messages.size())
        return "Unknown error";
    return config_messages[code];
}

const char *config_error_message(ConfigError code)
{
    return config_error_message(static_cast<unsigned>(code));
}
