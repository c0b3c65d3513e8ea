// SPDX-License-Identifier: MIT
// Where a client's command ends, for the daemon's reader and for whatever
// must split a client's bytes as the daemon does (its stand-in in tests).
#pragma once

#include <cstddef>
#include <string_view>

// What one read takes: the whole command of a read without a line feed.
constexpr size_t COMMAND_READ_SIZE = 4096;

// A JSON text not yet ended: inside a string, or with its first object or
// array still open. A writer cut short by a full socket buffer leaves one
// after its last line feed, to be completed by what it writes next; a whole
// command never is one. Only the first value counts, as for the parser.
constexpr bool unfinished_json(std::string_view text)
{
    int depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (const char c : text) {
        if (escaped)
            escaped = false;
        else if (in_string) {
            escaped = c == '\\';
            in_string = c != '"';
        } else if (c == '"')
            in_string = true;
        else if (c == '{' || c == '[')
            depth++;
        else if ((c == '}' || c == ']') && --depth <= 0)
            return false;
    }
    return in_string || depth > 0;
}

// A whole JSON object at the start of text. What completes a cut command
// never is one, so a rest held before it was never going to be completed: it
// is a command of its own, and so is this.
constexpr bool starts_whole_object(std::string_view text)
{
    const size_t at = text.find_first_not_of(" \t\r");
    if (at == std::string_view::npos || text[at] != '{')
        return false;
    text.remove_prefix(at); // substr could throw, and the daemon has no C++ runtime
    return !unfinished_json(text);
}
