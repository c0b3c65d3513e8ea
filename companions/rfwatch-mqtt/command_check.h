// Commands published on P/NODE/RADIO/command: each must be one rfwatchd
// command object, which is checked and rewritten in a canonical compact
// form before it reaches the daemon.
#pragma once

#include <string>
#include <string_view>

// Far beyond the longest command rfwatchd knows (about 110 bytes).
constexpr size_t COMMAND_MAX_BYTES = 1024;

// true: json holds the command for rfwatchd (no newline). false: error holds
// a short reason, json is empty.
bool check_command(std::string_view message, std::string &json, std::string &error);

// At most max_bytes of text with control characters, quotes, backslashes
// and bytes above 0x7e escaped, so what a publisher sent cannot forge log
// lines or terminal sequences.
std::string escape_for_log(std::string_view text, size_t max_bytes);
