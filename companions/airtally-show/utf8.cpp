// SPDX-License-Identifier: MIT
#include "utf8.h"

namespace airtally_names
{

namespace
{

// Well-formed UTF-8 sequences by lead byte: their length and the range of
// the second byte, which rules out overlong forms, surrogates and code
// points above U+10FFFF. Later bytes are always 0x80-0xbf.
struct Utf8Lead {
    unsigned char first, last;
    size_t length;
    unsigned char second_min, second_max;
};

constexpr Utf8Lead kUtf8Leads[] = {
    {0xc2, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf}, {0xe1, 0xec, 3, 0x80, 0xbf},
    {0xed, 0xed, 3, 0x80, 0x9f}, {0xee, 0xef, 3, 0x80, 0xbf}, {0xf0, 0xf0, 4, 0x90, 0xbf},
    {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f},
};

} // namespace

size_t utf8_length(std::string_view s)
{
    if (s.empty())
        return 0;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    for (const Utf8Lead &l : kUtf8Leads) {
        if (byte(0) < l.first || byte(0) > l.last)
            continue;
        if (s.size() < l.length || byte(1) < l.second_min || byte(1) > l.second_max)
            return 0;
        for (size_t i = 2; i < l.length; ++i)
            if (byte(i) < 0x80 || byte(i) > 0xbf)
                return 0;
        return l.length;
    }
    return 0;
}

} // namespace airtally_names
