// SPDX-License-Identifier: MIT
// Reading MAC and IP address texts, as given on the command line and in
// state files.
#pragma once

#include "datagram.h"

#include <cstdint>

// Six fields of one or two hexadecimal digits separated by colons; text
// after the sixth field is ignored. False when invalid.
bool parse_mac_text(const char *text, uint8_t (&mac)[MAC_LEN]);

struct ParsedAddress {
    uint8_t family; // AF_INET or AF_INET6
    uint8_t prefix_len;
    uint8_t addr[16]; // network order; IPv4 uses the first 4 bytes
};

// Texts longer than this are refused rather than cut, so that a cut can
// never turn one value into another.
constexpr std::size_t ADDRESS_TEXT_MAX = 255;

// "addr[/prefix]"; the prefix defaults to the full length and must lie
// within the family's range. False when invalid.
bool parse_address_text(const char *text, ParsedAddress *out);

// A decimal number as the tool reads it: text that is not a number gives
// 0, and values too large for a long saturate (so they stay out of range
// rather than wrapping into it).
long parse_decimal_text(const char *text);
