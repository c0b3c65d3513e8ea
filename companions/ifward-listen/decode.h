// SPDX-License-Identifier: MIT
// Turns a received datagram into one readable line, for people wiring
// ifward-event into scripts and for the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Long enough for any line decode_datagram writes.
constexpr std::size_t DECODED_LINE_MAX = 512;

// Writes the line (without a line feed) into out. Datagrams of an unknown
// length and bytes that should be zero but are not are named in the line.
void decode_datagram(std::span<const uint8_t> bytes, char (&out)[DECODED_LINE_MAX]);

// Writes a hex dump, 16 bytes a line, each line starting with two spaces.
void hex_dump(std::span<const uint8_t> bytes, char *out, std::size_t cap);
