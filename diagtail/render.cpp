// SPDX-License-Identifier: MIT
#include "render.h"

#include <cstring>

namespace
{

constexpr char lower_digits[] = "0123456789abcdef";
constexpr char upper_digits[] = "0123456789ABCDEF";
// Widths beyond this only pad past the text cap, so they are clamped to
// keep the arithmetic small.
constexpr int WIDTH_CLAMP = 1024;

// What one conversion asks for, read from the text after its '%'.
struct Conversion {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    int width = 0;
    char conv = '\0'; // the conversion character; '\0' when the format ended first
};

// The argument words of one record and the types that say how many there
// are: the text ends where the types run out, not where the words do.
struct Arguments {
    const char *types;
    std::span<const uint8_t> payload;
    size_t next;
};

// Output bounded by TEXT_MAX; once a character does not fit, the text ends.
struct Out {
    char *buf;
    size_t len;
    bool full;
};

inline void put(Out &o, char c)
{
    if (o.len >= TEXT_MAX) {
        o.full = true;
        return;
    }
    o.buf[o.len++] = c;
}

inline void put_run(Out &o, char c, int n)
{
    if (n <= 0)
        return;
    size_t room = TEXT_MAX - o.len;
    size_t take = static_cast<size_t>(n);
    if (take > room) {
        take = room;
        o.full = true;
    }
    memset(o.buf + o.len, c, take);
    o.len += take;
}

inline void put_text(Out &o, const char *text, size_t n)
{
    size_t room = TEXT_MAX - o.len;
    if (n > room) {
        n = room;
        o.full = true;
    }
    memcpy(o.buf + o.len, text, n);
    o.len += n;
}

inline uint32_t arg_word(std::span<const uint8_t> payload, size_t index)
{
    size_t at = index * 4;
    if (at + 4 > payload.size())
        return 0;
    const uint8_t *b = payload.data() + at;
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// Digits of magnitude, most significant first, into d; returns how many.
template <unsigned Base> inline int digits_of(uint32_t magnitude, const char *digit_set, char *d)
{
    char rev[10]; // 4294967295 has ten
    int n = 0;
    do {
        rev[n++] = digit_set[magnitude % Base];
        magnitude /= Base;
    } while (magnitude != 0);
    for (int i = 0; i < n; ++i)
        d[i] = rev[n - 1 - i];
    return n;
}

template <unsigned Base>
void put_number(Out &o, const Conversion &s, uint32_t magnitude, bool negative,
                const char *digit_set)
{
    char digits[10];
    int n = digits_of<Base>(magnitude, digit_set, digits);
    char sign = negative ? '-' : s.plus ? '+' : s.space ? ' ' : '\0';
    int pad = s.width - n - (sign ? 1 : 0);
    if (pad < 0)
        pad = 0;
    if (!s.left && !s.zero)
        put_run(o, ' ', pad);
    if (sign)
        put(o, sign);
    if (!s.left && s.zero)
        put_run(o, '0', pad);
    put_text(o, digits, static_cast<size_t>(n));
    if (s.left)
        put_run(o, ' ', pad);
}

// Reads flags, width, precision (ignored) and length modifiers (ignored),
// then the conversion character; f is left past what was read.
Conversion parse_conversion(const char *&f)
{
    Conversion s;
    for (;; ++f) {
        if (*f == '-')
            s.left = true;
        else if (*f == '0')
            s.zero = true;
        else if (*f == '+')
            s.plus = true;
        else if (*f == ' ')
            s.space = true;
        else
            break;
    }
    while (*f >= '0' && *f <= '9') {
        if (s.width < WIDTH_CLAMP)
            s.width = s.width * 10 + (*f - '0');
        ++f;
    }
    if (*f == '.') {
        ++f;
        while (*f >= '0' && *f <= '9')
            ++f;
    }
    while (*f == 'h' || *f == 'j' || *f == 'l' || *f == 't' || *f == 'z')
        ++f;
    s.conv = *f;
    if (s.conv != '\0')
        ++f;
    return s;
}

// Writes one argument word as s says; false when it ends the text (a NUL
// character).
bool put_argument(Out &o, const Conversion &s, char type, uint32_t word)
{
    switch (s.conv) {
    case 'c':
        if ((word & 0xFF) == 0)
            return false;
        put(o, static_cast<char>(word & 0xFF));
        break;
    case 'd':
    case 'i':
        // Signed only when the catalogue says so.
        if (type == 'i' && static_cast<int32_t>(word) < 0)
            put_number<10>(o, s, 0u - word, true, lower_digits);
        else
            put_number<10>(o, s, word, false, lower_digits);
        break;
    case 'u':
        put_number<10>(o, s, word, false, lower_digits);
        break;
    case 'x':
        put_number<16>(o, s, word, false, lower_digits);
        break;
    case 'X':
        put_number<16>(o, s, word, false, upper_digits);
        break;
    default: // 'p'
        if (TEXT_MAX - o.len >= 3)
            put_text(o, "0x", 2);
        put_number<16>(o, s, word, false, lower_digits);
        break;
    }
    return true;
}

// Writes one parsed conversion; false when the text ends here (argument
// types used up, or a NUL character).
bool put_conversion(Out &o, const Conversion &s, Arguments &args)
{
    switch (s.conv) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'p':
    case 'c':
        break;
    case 's': // strings are not in the record: a placeholder, no argument taken
        put_text(o, "<null>", 6);
        return true;
    default:
        put(o, s.conv);
        return true;
    }
    if (*args.types == '\0')
        return false;
    char type = *args.types++;
    return put_argument(o, s, type, arg_word(args.payload, args.next++));
}

} // namespace

size_t copy_message(TextBuffer &out, const char *format)
{
    size_t len = strnlen(format, TEXT_MAX);
    memcpy(out, format, len);
    out[len] = '\0';
    return len;
}

size_t render_message(TextBuffer &out, const char *format, const char *arg_types,
                      std::span<const uint8_t> payload)
{
    Out o{out, 0, false};
    Arguments args{arg_types ? arg_types : "", payload, 0};
    const char *f = format;
    while (*f != '\0' && !o.full) {
        if (*f != '%') {
            // Copy the literal run up to the next conversion in one go.
            const char *end = f + 1;
            while (*end != '\0' && *end != '%')
                ++end;
            put_text(o, f, static_cast<size_t>(end - f));
            f = end;
            continue;
        }
        ++f;
        Conversion s = parse_conversion(f);
        // A conversion cut short by the end of the format ends the text.
        if (s.conv == '\0' || !put_conversion(o, s, args))
            break;
    }
    out[o.len] = '\0';
    return o.len;
}
