// SPDX-License-Identifier: MIT
// The firmware's printf-like message templates, rendered from the argument
// words of one message record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// At most 511 characters of text and a terminator.
constexpr size_t TEXT_BUFFER_SIZE = 512;
constexpr size_t TEXT_MAX = TEXT_BUFFER_SIZE - 1;

using TextBuffer = char[TEXT_BUFFER_SIZE];

// Renders format with the argument words in payload (little-endian 32-bit;
// a word not wholly inside payload reads as 0). arg_types may be null
// (no argument types). Returns the text length; out is always terminated.
size_t render_message(TextBuffer &out, const char *format, const char *arg_types,
                      std::span<const uint8_t> payload);

// The format copied unchanged, cut at TEXT_MAX characters.
size_t copy_message(TextBuffer &out, const char *format);
