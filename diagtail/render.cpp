#include "render.h"

#include <cstring>

namespace
{

constexpr char lower_digits[] = "0123456789abcdef";
constexpr char upper_digits[] = "0123456789ABCDEF";
// Widths beyond this only pad past the text cap, so they are clamped to
// keep the arithmetic small.
constexpr int WIDTH_CLAMP = 1024;

struct Conversion {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    int width = 0;
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
    const char *f = format;
    const char *types = arg_types ? arg_types : "";
    size_t next_arg = 0;

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
        if (*f == '.') { // precision is read and ignored
            ++f;
            while (*f >= '0' && *f <= '9')
                ++f;
        }
        while (*f == 'h' || *f == 'j' || *f == 'l' || *f == 't' || *f == 'z')
            ++f;
        char conv = *f;
        if (conv == '\0')
            break; // conversion cut short by the end of the format
        ++f;

        switch (conv) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'p':
        case 'c': {
            if (*types == '\0')
                goto done; // argument types used up
            char type = *types++;
            uint32_t word = arg_word(payload, next_arg++);
            if (conv == 'c') {
                if (word & 0xFF)
                    put(o, static_cast<char>(word & 0xFF));
                else
                    goto done; // a NUL character ends the text
            } else if (conv == 'd' || conv == 'i') {
                if (type == 'i' && static_cast<int32_t>(word) < 0)
                    put_number<10>(o, s, 0u - word, true, lower_digits);
                else
                    put_number<10>(o, s, word, false, lower_digits);
            } else if (conv == 'u') {
                put_number<10>(o, s, word, false, lower_digits);
            } else if (conv == 'x') {
                put_number<16>(o, s, word, false, lower_digits);
            } else if (conv == 'X') {
                put_number<16>(o, s, word, false, upper_digits);
            } else {
                if (TEXT_MAX - o.len >= 3)
                    put_text(o, "0x", 2);
                put_number<16>(o, s, word, false, lower_digits);
            }
            break;
        }
        case 's':
            put_text(o, "<null>", 6);
            break;
        default:
            put(o, conv);
            break;
        }
    }
done:
    out[o.len] = '\0';
    return o.len;
}
