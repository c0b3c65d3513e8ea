// SPDX-License-Identifier: MIT
#include "log_escape.h"

std::string escape_for_log(std::string_view text, size_t max_bytes)
{
    static constexpr char HEX[] = "0123456789abcdef";
    std::string out;
    const bool cut = text.size() > max_bytes;
    if (cut)
        text = text.substr(0, max_bytes);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && c != '\\' && c != '"') {
            out += c;
            continue;
        }
        out += "\\x";
        out += HEX[u >> 4];
        out += HEX[u & 0xf];
    }
    if (cut)
        out += "...";
    return out;
}
