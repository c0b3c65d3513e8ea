// SPDX-License-Identifier: MIT
#include "decoder.h"

#include "render.h"

#include <array>
#include <cstring>

namespace
{

// Indexed by the descriptor's 3-bit level.
constexpr std::array level_names = {
    "VERBOSE", "INFO", "INFO1", "INFO2", "WARN", "ERR", "UNKNOWN", "UNKNOWN",
};
static_assert(level_names.size() == 8, "one name per 3-bit level");

constexpr unsigned KIND_TIME_BASE = 0;
constexpr unsigned KIND_MESSAGE = 3;
constexpr unsigned KIND_MESSAGE_LONG_TS = 7;
constexpr uint32_t TIME_BASE_MSG_ID = 1;

inline uint32_t word_at(const uint8_t *b)
{
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// Every output line starts "[<hex time>] [<level> (<unit>)] "; built by
// hand because it is written once per firmware message.
struct Line {
    char buf[64 + TEXT_BUFFER_SIZE + 64];
    size_t len = 0;

    void text(const char *s, size_t n)
    {
        memcpy(buf + len, s, n);
        len += n;
    }
    void text(const char *s) { text(s, strlen(s)); }
    void hex(uint64_t v)
    {
        char d[16];
        int n = 0;
        do {
            d[n++] = "0123456789abcdef"[v & 0xF];
            v >>= 4;
        } while (v != 0);
        while (n > 0)
            buf[len++] = d[--n];
    }
    void dec(uint32_t v)
    {
        char d[10];
        int n = 0;
        do {
            d[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0)
            buf[len++] = d[--n];
    }
};

void start_line(Line &l, uint64_t time, uint32_t descriptor)
{
    l.text("[", 1);
    l.hex(time);
    l.text("] [", 3);
    l.text(level_name((descriptor >> 8) & 0x7));
    l.text(" (", 2);
    l.dec((descriptor >> 11) & 0x1F);
    l.text(")] ", 3);
}

void print_message(const MessageCatalogue &cat, uint64_t time, uint32_t descriptor,
                   std::span<const uint8_t> payload, FILE *out)
{
    uint32_t msg_id = descriptor >> 16;
    Line l;
    start_line(l, time, descriptor);
    const CatalogueEntry *e = find_entry(cat, msg_id);
    if (!e || !e->format) {
        l.text("****WARNING****, FWMSG ID ");
        l.dec(msg_id);
        l.text(" not found\n");
    } else {
        TextBuffer text;
        size_t n = payload.empty() || !e->arg_types
                       ? copy_message(text, e->format)
                       : render_message(text, e->format, e->arg_types, payload);
        l.text(text, n);
        l.text("\n", 1);
    }
    fwrite(l.buf, 1, l.len, out);
}

void print_wrong_id(uint64_t time, uint32_t descriptor, FILE *out)
{
    Line l;
    start_line(l, time, descriptor);
    l.text("****WARNING**** WRONG DIAG ID\n");
    fwrite(l.buf, 1, l.len, out);
}

} // namespace

const char *level_name(unsigned level)
{
    return level_names[level & 0x7];
}

void decode_read(DecoderState &st, const MessageCatalogue &cat, std::span<const uint8_t> bytes,
                 FILE *out)
{
    const size_t n = bytes.size();
    const uint8_t *b = bytes.data();
    if (n < 8)
        return;
    // pos counts bytes and is never rounded; a record is read at word pos/4,
    // so payloads of odd length make the next record overlap their last word.
    size_t pos = 0;
    do {
        const uint8_t *rec = b + (pos / 4) * 4;
        uint32_t header = word_at(rec);
        unsigned kind = header >> 24;
        uint64_t stamp = header & 0xFFFFFF;
        const uint8_t *desc_at = rec + 4;
        if (kind <= 4) {
            pos += 8;
        } else {
            pos += 12;
            if (pos > n)
                return;
            // 56-bit timestamp: the header's 24 bits are the upper part.
            stamp = stamp << 32 | word_at(rec + 4);
            desc_at = rec + 8;
        }
        uint32_t descriptor = word_at(desc_at);
        uint64_t time = stamp + st.time_base;
        const uint8_t *payload = desc_at + 4;

        switch (kind) {
        case KIND_MESSAGE:
        case KIND_MESSAGE_LONG_TS: {
            size_t len = descriptor & 0xFF;
            pos += len;
            if (pos > n)
                return;
            print_message(cat, time, descriptor, {payload, len}, out);
            break;
        }
        case KIND_TIME_BASE: {
            size_t len = descriptor & 0xFFFF;
            pos += len;
            if (pos > n)
                return;
            if (len >= 8 && descriptor >> 16 == TIME_BASE_MSG_ID)
                st.time_base = static_cast<uint64_t>(word_at(payload + 4)) << 32 | word_at(payload);
            break;
        }
        case 1:
        case 2:
        case 5:
        case 6:
            pos += descriptor & 0xFFFF;
            break;
        default: // 4 and 8-255: the stream can no longer be trusted
            print_wrong_id(time, descriptor, out);
            return;
        }
    } while (pos + 8 <= n);
}
