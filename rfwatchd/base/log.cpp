// SPDX-License-Identifier: MIT
#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void log_text(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

namespace
{

// The lead bytes of UTF-8 sequences, with each sequence's length and the
// range its second byte must lie in: the ranges rule out overlong forms,
// surrogates, code points above U+10FFFF, and the C1 controls (U+0080 to
// U+009F, CSI among them).
struct Lead {
    unsigned char first, last;
    size_t length;
    unsigned char low, high;
};
constexpr Lead leads[] = {
    {0xc2, 0xc2, 2, 0xa0, 0xbf}, {0xc3, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf},
    {0xe1, 0xec, 3, 0x80, 0xbf}, {0xed, 0xed, 3, 0x80, 0x9f}, {0xee, 0xef, 3, 0x80, 0xbf},
    {0xf0, 0xf0, 4, 0x90, 0xbf}, {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f},
};

// Length of the valid UTF-8 sequence of a printable character at s, or 0.
size_t printable_utf8(const unsigned char *s, size_t n)
{
    if (s[0] >= 0x20 && s[0] < 0x7f)
        return 1;
    for (const Lead &l : leads) {
        if (s[0] < l.first || s[0] > l.last)
            continue;
        if (l.length > n || s[1] < l.low || s[1] > l.high)
            return 0;
        for (size_t i = 2; i < l.length; i++)
            if ((s[i] & 0xc0) != 0x80)
                return 0;
        return l.length;
    }
    return 0;
}

} // namespace

const char *escape_control(std::string_view text, char *out)
{
    static constexpr char hex[] = "0123456789abcdef";
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    size_t n = text.size(), o = 0;
    for (size_t i = 0; i < n;) {
        size_t len = printable_utf8(s + i, n - i);
        if (len > 0) {
            memcpy(out + o, s + i, len);
            o += len;
            i += len;
            continue;
        }
        out[o++] = '\\';
        out[o++] = 'x';
        out[o++] = hex[s[i] >> 4];
        out[o++] = hex[s[i] & 0xf];
        i++;
    }
    out[o] = '\0';
    return out;
}
