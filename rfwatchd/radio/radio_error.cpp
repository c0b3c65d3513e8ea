// SPDX-License-Identifier: MIT
#include "radio/radio_error.h"

#include <array>

namespace
{

// Indexed by code.
constexpr std::array radio_error_texts = {
    "Success",
    "Invalid parameters",
    "Too many channels for sweep range",
    "Netlink initialization failed",
    "Monitor interface not found",
    "Channel set operation failed",
    "Interface state query failed",
    "Interface state set failed",
    "Phy not found",
    "Regulatory domain query failed",
};
static_assert(radio_error_texts.size() == RADIO_ERROR_COUNT, "one text per RadioError");

} // namespace

const char *radio_error_message(RadioError code)
{
    auto index = static_cast<int32_t>(code);
    if (index < 0 || static_cast<size_t>(index) >= RADIO_ERROR_COUNT)
        return "Unknown error";
    return radio_error_texts[index];
}
