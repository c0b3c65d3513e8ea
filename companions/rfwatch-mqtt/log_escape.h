// SPDX-License-Identifier: MIT
// What a publisher sent, made safe for rfwatch-mqtt's log.
#pragma once

#include <string>
#include <string_view>

// At most max_bytes of text with control characters, quotes, backslashes
// and bytes above 0x7e escaped, so what a publisher sent cannot forge log
// lines or terminal sequences.
std::string escape_for_log(std::string_view text, size_t max_bytes);
