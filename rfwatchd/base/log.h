// SPDX-License-Identifier: MIT
// The daemon's one way to write a line for the operator: standard error,
// no prefix (the service manager adds time and name), the caller's text as
// it stands.
#pragma once

__attribute__((format(printf, 1, 2))) void log_text(const char *format, ...);

#include <cstddef>
#include <string_view>

// Room escape_control needs for a text of n bytes: every byte may become
// "\xHH", plus the terminator.
constexpr size_t escaped_size(size_t n)
{
    return 4 * n + 1;
}

// Copies text into out (at least escaped_size(text.size()) bytes) and
// terminates it, writing every control byte (C0, DEL, C1) and every byte
// that is not part of valid UTF-8 as "\xHH". Text a peer sent cannot then
// start a log line of its own or drive the operator's terminal; printable
// text, backslashes included, stays as it was. Returns out.
const char *escape_control(std::string_view text, char *out);
