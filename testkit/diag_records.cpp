// SPDX-License-Identifier: MIT
#include "diag_records.h"

namespace wdtest
{

namespace
{

void put_word(std::vector<uint8_t> &out, uint32_t w)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

bool has_short_length(uint8_t kind)
{
    return kind == 3 || kind == 7;
}
bool has_long_length(uint8_t kind)
{
    return kind <= 2 || kind == 5 || kind == 6;
}

} // namespace

std::vector<uint8_t> arg_words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words)
        put_word(out, w);
    return out;
}

DiagRecord message_record(uint16_t msg_id, std::initializer_list<uint32_t> args, uint32_t timestamp,
                          uint8_t level, uint8_t unit)
{
    DiagRecord r;
    r.kind = 3;
    r.timestamp = timestamp;
    r.msg_id = msg_id;
    r.level = level;
    r.unit = unit;
    r.payload = arg_words(args);
    return r;
}

DiagRecord time_base_record(uint64_t base)
{
    DiagRecord r;
    r.kind = 0;
    r.msg_id = 1;
    r.payload = arg_words({static_cast<uint32_t>(base), static_cast<uint32_t>(base >> 32)});
    return r;
}

void append_record(std::vector<uint8_t> &out, const DiagRecord &r)
{
    uint32_t len = r.payload_len ? *r.payload_len : static_cast<uint32_t>(r.payload.size());
    if (r.kind <= 4) {
        put_word(out, static_cast<uint32_t>(r.kind) << 24 | (r.timestamp & 0xFFFFFF));
    } else {
        put_word(out, static_cast<uint32_t>(r.kind) << 24 | ((r.timestamp >> 32) & 0xFFFFFF));
        put_word(out, static_cast<uint32_t>(r.timestamp));
    }
    uint32_t desc = static_cast<uint32_t>(r.msg_id) << 16;
    if (has_long_length(r.kind))
        desc |= len & 0xFFFF;
    else
        desc |= static_cast<uint32_t>(r.unit & 0x1F) << 11 |
                static_cast<uint32_t>(r.level & 7) << 8 |
                (has_short_length(r.kind) ? (len & 0xFF) : 0);
    put_word(out, desc);
    out.insert(out.end(), r.payload.begin(), r.payload.end());
}

std::vector<uint8_t> encode_records(std::initializer_list<DiagRecord> records)
{
    std::vector<uint8_t> out;
    for (const DiagRecord &r : records)
        append_record(out, r);
    return out;
}

std::string catalogue_line(uint32_t id, std::string_view arg_types, std::string_view format)
{
    std::string s = std::to_string(id);
    s += ',';
    s += arg_types;
    s += ',';
    s += format;
    s += '\n';
    return s;
}

std::string catalogue_file(std::initializer_list<std::string> lines, std::string_view header)
{
    std::string s(header);
    for (const std::string &l : lines)
        s += l;
    return s;
}

} // namespace wdtest
