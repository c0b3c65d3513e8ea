// SPDX-License-Identifier: MIT
// Result codes of every radio-control operation and their fixed texts.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RadioError : int32_t {
    Success = 0,
    InvalidParameters = 1,
    TooManyChannels = 2, // kept for callers; the channel list is capped instead
    NetlinkInitFailed = 3,
    MonitorNotFound = 4,
    ChannelSetFailed = 5,
    LinkQueryFailed = 6,
    LinkSetFailed = 7,
    PhyNotFound = 8,
    RegulatoryQueryFailed = 9, // kept for callers; nothing here returns it
};

// Number of codes; a new code goes last and moves this along.
inline constexpr size_t RADIO_ERROR_COUNT =
    static_cast<size_t>(RadioError::RegulatoryQueryFailed) + 1;

// Constant text of a code; "Unknown error" for any value outside the table.
const char *radio_error_message(RadioError code);
