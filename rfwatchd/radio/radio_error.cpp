#include "radio/radio_error.h"

#include <iterator>

namespace
{

// Indexed by code.
constexpr const char *radio_error_texts[] = {
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
static_assert(std::size(radio_error_texts) == RADIO_ERROR_COUNT);

} // namespace

const char *radio_error_message(RadioError code)
{
    auto index = static_cast<int32_t>(code);
    if (index < 0 || static_cast<size_t>(index) >= RADIO_ERROR_COUNT)
        return "Unknown error";
    return radio_error_texts[index];
}
