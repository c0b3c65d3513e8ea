// SPDX-License-Identifier: MIT
#include "recording_format.h"

#include <array>
#include <charconv>

namespace
{

// The reflected IEEE 802.3 polynomial, one table entry per byte value.
constexpr std::array<uint32_t, 256> make_crc_table()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> CRC_TABLE = make_crc_table();

void put_le(std::string &out, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; i++)
        out += static_cast<char>(static_cast<uint8_t>(value >> (8 * i)));
}

std::span<const uint8_t> bytes_of(const std::string &s)
{
    return {reinterpret_cast<const uint8_t *>(s.data()), s.size()};
}

// A JSON string: the names come from options and socket paths, so quotes,
// backslashes and control characters are escaped rather than trusted.
void put_json_string(std::string &out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            constexpr char HEX[] = "0123456789abcdef";
            out += "\\u00";
            out += HEX[u >> 4];
            out += HEX[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

struct UnitOf {
    std::string_view driver;
    const char *unit;
};

constexpr UnitOf UNITS[] = {{"ath11k", "dBm"}, {"ath10k", "magnitude"}};

} // namespace

const char *recording_unit_of(std::string_view driver)
{
    for (const UnitOf &u : UNITS)
        if (u.driver == driver)
            return u.unit;
    return "";
}

uint32_t recording_crc32(uint32_t crc, std::span<const uint8_t> bytes)
{
    crc = ~crc;
    for (uint8_t b : bytes)
        crc = CRC_TABLE[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string recording_header_bytes(const RecordingHeader &header)
{
    std::string json = "{\"radio\":";
    put_json_string(json, header.radio);
    json += ",\"driver\":";
    put_json_string(json, header.driver);
    json += ",\"unit\":";
    put_json_string(json, header.unit);
    json += ",\"source\":";
    put_json_string(json, header.source);
    json += ",\"started_us\":";
    char number[24];
    json.append(number, std::to_chars(number, number + sizeof number, header.started_us).ptr);
    json += ",\"recorder\":";
    put_json_string(json, header.recorder);
    json += '}';

    std::string out(RECORDING_MAGIC, RECORDING_MAGIC_SIZE);
    out += static_cast<char>(RECORDING_VERSION);
    out += '\0';
    put_le(out, json.size(), 4);
    out += json;
    put_le(out, recording_crc32(0, bytes_of(out)), 4);
    return out;
}

bool recording_record_bytes(RecordType type, uint64_t time_us, std::span<const uint8_t> body,
                            std::string &out)
{
    if (body.size() > RECORD_MAX_BODY)
        return false;
    out.clear();
    put_le(out, body.size(), 4);
    out += static_cast<char>(type);
    put_le(out, time_us, 8);
    out.append(reinterpret_cast<const char *>(body.data()), body.size());
    put_le(out, recording_crc32(0, bytes_of(out)), 4);
    return true;
}
