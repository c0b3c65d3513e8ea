// SPDX-License-Identifier: MIT
// Builders of the ath11k firmware's diagnostic records and of message
// catalogue files, shared by the decoder's unit tests, the program's
// component tests and the emulated access point.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wdtest
{

struct DiagRecord {
    uint8_t kind = 3;
    // 24 bits for kinds 0-4; 56 bits (two header words) for kinds 5-255.
    uint64_t timestamp = 0;
    uint16_t msg_id = 0;
    uint8_t unit = 0;  // 5 bits; not encoded for 16-bit length kinds
    uint8_t level = 1; // 3 bits; not encoded for 16-bit length kinds
    std::vector<uint8_t> payload;
    // Written instead of payload.size() (to build records that lie).
    std::optional<uint16_t> payload_len;
};

// Little-endian argument words as a payload.
std::vector<uint8_t> arg_words(std::initializer_list<uint32_t> words);

// A kind-3 message record.
DiagRecord message_record(uint16_t msg_id, std::initializer_list<uint32_t> args,
                          uint32_t timestamp = 0, uint8_t level = 1, uint8_t unit = 0);
// A kind-0 record with msg_id 1 that sets the decoder's time base.
DiagRecord time_base_record(uint64_t base);

// Appends the encoded record; the payload is appended as is, unpadded.
void append_record(std::vector<uint8_t> &out, const DiagRecord &r);
std::vector<uint8_t> encode_records(std::initializer_list<DiagRecord> records);

// "id,arg_types,format\n"
std::string catalogue_line(uint32_t id, std::string_view arg_types, std::string_view format);
// A header line followed by the given lines (each ending as given).
std::string catalogue_file(std::initializer_list<std::string> lines,
                           std::string_view header = "id,arg_types,format\n");

} // namespace wdtest
