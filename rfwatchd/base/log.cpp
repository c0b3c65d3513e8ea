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

// Length of the valid UTF-8 sequence of a printable character at s, or 0.
size_t printable_utf8(const unsigned char *s, size_t n)
{
    unsigned char c = s[0];
    if (c >= 0x20 && c < 0x7f)
        return 1;
    size_t len = c >= 0xc2 && c <= 0xdf   ? 2
                 : c >= 0xe0 && c <= 0xef ? 3
                 : c >= 0xf0 && c <= 0xf4 ? 4
                                          : 0;
    if (len == 0 || len > n)
        return 0;
    // The second byte's range rules out overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char lo = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
    unsigned char hi = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
    if (s[1] < lo || s[1] > hi)
        return 0;
    for (size_t i = 2; i < len; i++)
        if (s[i] < 0x80 || s[i] > 0xbf)
            return 0;
    // U+0080 to U+009F are the C1 controls (CSI among them).
    if (c == 0xc2 && s[1] <= 0x9f)
        return 0;
    return len;
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
