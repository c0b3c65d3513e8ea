// SPDX-License-Identifier: MIT
// The firmware's printf-like renderer. Any format, argument types and
// payload give a terminated text of at most 511 characters. Formats made of
// what it shares with snprintf (literal text; %d and %i of signed or
// unsigned arguments, %u, %x, %X with the -, 0, + and space flags where C
// gives them the same meaning, widths, length modifiers, which it ignores;
// %c of a non-zero byte; %%) give exactly snprintf's text, cut at 511.
#include "fuzz_check.h"
#include "render.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct Reader {
    const uint8_t *data;
    size_t size;
    size_t at = 0;

    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t word()
    {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i)
            w |= uint32_t{byte()} << (8 * i);
        return w;
    }
};

std::string c_string(Reader &r)
{
    std::string s;
    while (r.more()) {
        char c = static_cast<char>(r.byte());
        if (c == '\0')
            break;
        s += c;
    }
    return s;
}

void check_rendered(const TextBuffer &out, size_t length)
{
    FUZZ_CHECK(length <= TEXT_MAX);
    FUZZ_CHECK(out[length] == '\0' && strlen(out) == length);
}

// Format, types and payload as the renderer takes them, and the text that
// snprintf gives for the same conversions one at a time.
struct Agreed {
    std::string format, types, expected;
    std::vector<uint8_t> payload;

    void argument(char type, uint32_t word)
    {
        types += type;
        for (int i = 0; i < 4; ++i)
            payload.push_back(static_cast<uint8_t>(word >> (8 * i)));
    }
    template <typename T> void expect(const std::string &conversion, T value)
    {
        char text[2048];
        int n = snprintf(text, sizeof text, conversion.c_str(), value);
        FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) < sizeof text);
        expected.append(text, static_cast<size_t>(n));
    }

    void conversion(Reader &r)
    {
        uint8_t what = r.byte(), flags = r.byte();
        if (what % 7 == 5) { // %%: no flags in either
            format += "%%";
            expected += '%';
            return;
        }
        uint32_t word = r.word();
        if (what % 7 == 6) {             // %c: flags and width are ignored here
            word |= word & 0xff ? 0 : 1; // a NUL byte would end the text
            format += "%c";
            argument('u', word);
            expected += static_cast<char>(word & 0xff);
            return;
        }
        char conv = "diuxX"[what % 7];
        bool is_signed = (conv == 'd' || conv == 'i') && (flags & 0x80);
        std::string conversion = "%";
        if (flags & 1)
            conversion += '-';
        if (flags & 2)
            conversion += '0';
        if (is_signed && (flags & 4))
            conversion += '+';
        if (is_signed && (flags & 8))
            conversion += ' ';
        if (flags & 0x10)
            conversion += std::to_string((r.byte() | r.byte() << 8) % 1024);
        static constexpr const char *modifiers[] = {"", "l", "hh", "z", "jt"};
        format += conversion + modifiers[(flags >> 5) % 5] + conv;
        argument(is_signed ? 'i' : 'u', word);
        if (is_signed)
            expect(conversion + 'd', static_cast<int32_t>(word));
        else
            expect(conversion + (conv == 'd' || conv == 'i' ? 'u' : conv), word);
    }
};

Agreed agreed_format(Reader &r)
{
    Agreed a;
    while (r.more() && a.format.size() < 2000) {
        uint8_t op = r.byte();
        if (op % 3 == 0) {
            a.conversion(r);
        } else {
            char c = static_cast<char>(r.byte());
            if (c == '%' || c == '\0')
                c = '.';
            a.format += c;
            a.expected += c;
        }
    }
    a.expected.resize(std::min(a.expected.size(), TEXT_MAX));
    return a;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Any texts: the format, the types, then the payload.
    Reader r{data, size};
    std::string format = c_string(r);
    std::string types = c_string(r);
    TextBuffer out;
    size_t n = render_message(out, format.c_str(), types.empty() ? nullptr : types.c_str(),
                              {data + r.at, size - r.at});
    check_rendered(out, n);
    n = copy_message(out, format.c_str());
    check_rendered(out, n);
    FUZZ_CHECK(format.compare(0, n, out) == 0);

    // The same bytes read as a format that snprintf must agree with.
    Reader again{data, size};
    Agreed a = agreed_format(again);
    n = render_message(out, a.format.c_str(), a.types.c_str(), a.payload);
    check_rendered(out, n);
    FUZZ_CHECK(std::string(out, n) == a.expected);
    return 0;
}
