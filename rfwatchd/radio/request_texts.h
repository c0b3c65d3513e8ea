// SPDX-License-Identifier: MIT
// The fixed lines every netlink request of radio control writes when one of
// its steps fails, one row per request, so that what the operator reads is
// all in one place. Operators' scripts grep for these words: they stay as
// they are.
#pragma once

#include "radio/radio_error.h"

#include <cstddef>
#include <iterator>
#include <string_view>

// Each text is a printf format taking exactly the arguments named beside it.
struct RequestTexts {
    const char *no_message;   // nlmsg_alloc failed; no arguments
    const char *not_built;    // the message was full; %s interface
    const char *no_callbacks; // nl_cb_alloc failed; no arguments; nullptr: silent
    const char *not_sent;     // %s interface, %s libnl's reason
    // The reply was an error; the arguments of each request are named at its
    // row, and the operation writes it while interpreting the answer.
    const char *refused;
    RadioError failed; // result of a failed send or reply
};

enum class RadioRequest : size_t { InterfaceQuery, ConfigQuery, GetLink, NewLink, SetWiphy };
inline constexpr size_t RADIO_REQUEST_COUNT = static_cast<size_t>(RadioRequest::SetWiphy) + 1;

// Indexed by RadioRequest.
inline constexpr RequestTexts request_texts[] = {
    // refused: %s interface, %s libnl's reason
    {"Failed to allocate netlink message for interface query\n",
     "Failed to build interface query for %s\n",
     "Failed to allocate netlink callback for interface query\n",
     "Failed to send interface query for %s: %s\n",
     "Failed to receive interface query response for %s: %s\n", RadioError::NetlinkInitFailed},
    // refused: %s interface, %s libnl's reason, %d its code.
    {"Failed to allocate netlink message for config backup\n",
     "Failed to build config backup query for %s\n",
     "Failed to allocate netlink callback for config backup\n",
     "Failed to send config backup query for %s: %s\n",
     "Netlink error querying %s config: %s (error code: %d)\n", RadioError::NetlinkInitFailed},
    // refused: %s interface, %s libnl's reason. A failed callback
    // allocation has always gone unreported here.
    {"Failed to allocate netlink message for interface state query\n",
     "Failed to build GETLINK for %s\n", nullptr, "Failed to send GETLINK for %s: %s\n",
     "Failed to receive GETLINK response for %s: %s\n", RadioError::LinkQueryFailed},
    // refused: %s interface, %s UP or DOWN, %s libnl's reason
    {"Failed to allocate netlink message for interface state set\n",
     "Failed to build NEWLINK for %s\n", nullptr, "Failed to send NEWLINK for %s: %s\n",
     "Failed to set interface %s %s: %s\n", RadioError::LinkSetFailed},
    // refused: %s interface, %u MHz, %u width MHz, %d ifindex, %s libnl's
    // reason, %d its code
    {"Failed to allocate netlink message for channel set\n",
     "Failed to build channel set command for %s\n", nullptr,
     "Failed to send channel set command for %s: %s\n",
     "Failed to set channel for %s: freq=%u MHz, width=%u MHz, ifindex=%d, error=%s (errno=%d)\n",
     RadioError::ChannelSetFailed},
};
static_assert(std::size(request_texts) == RADIO_REQUEST_COUNT);

constexpr const RequestTexts &texts_of(RadioRequest request)
{
    return request_texts[static_cast<size_t>(request)];
}

// Whether format's conversions are, in order, the letters of conversions
// ("%s: %d" takes "sd"). A format in a table is not a literal, so the
// compiler cannot check it against its arguments; this lets the table do it.
constexpr bool format_takes(std::string_view format, std::string_view conversions)
{
    size_t next = 0;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] != '%')
            continue;
        i++;
        while (i < format.size() &&
               std::string_view("-+ #0123456789.hlLqjzt").find(format[i]) != std::string_view::npos)
            i++;
        if (i >= format.size())
            return false;
        if (format[i] == '%')
            continue;
        if (next >= conversions.size() || conversions[next] != format[i])
            return false;
        next++;
    }
    return next == conversions.size();
}

// The arguments the runners give every row, and each row's refusal.
constexpr bool texts_fit(RadioRequest request, std::string_view refused_takes)
{
    const RequestTexts &t = texts_of(request);
    return format_takes(t.no_message, "") && format_takes(t.not_built, "s") &&
           (t.no_callbacks == nullptr || format_takes(t.no_callbacks, "")) &&
           format_takes(t.not_sent, "ss") && format_takes(t.refused, refused_takes);
}
static_assert(texts_fit(RadioRequest::InterfaceQuery, "ss"));
static_assert(texts_fit(RadioRequest::ConfigQuery, "ssd"));
static_assert(texts_fit(RadioRequest::GetLink, "ss"));
static_assert(texts_fit(RadioRequest::NewLink, "sss"));
static_assert(texts_fit(RadioRequest::SetWiphy, "suudsd"));
