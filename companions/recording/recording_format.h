// SPDX-License-Identifier: MIT
// The recording file of rfwatch-record and rfwatch-replay (and the page's
// record button): what rfwatchd sent, line by line, with the time each line
// arrived. Little-endian throughout.
//
//   File header
//     0     6  magic "RFWREC"
//     6     u8 version (RECORDING_VERSION)
//     7     u8 0
//     8     u32 n, the length of the JSON text
//     12    n  one JSON object (RecordingHeader, keys below)
//     12+n  u32 CRC-32 of bytes 0 to 12+n
//   Records, each
//     0     u32 size of the body
//     4     u8 type (RecordType)
//     5     u64 time: when the line arrived, microseconds since the epoch
//     13    size bytes of body
//     13+size u32 CRC-32 of bytes 0 to 13+size
//
// A record is written with one write() and checked by its CRC: a power cut
// leaves at most one torn record at the end, which readers drop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

constexpr uint8_t RECORDING_VERSION = 1;
constexpr size_t RECORDING_MAGIC_SIZE = 6;
constexpr char RECORDING_MAGIC[RECORDING_MAGIC_SIZE + 1] = "RFWREC";
// A header's JSON text is a few hundred bytes; more is not a recording.
constexpr size_t RECORDING_HEADER_MAX_JSON = 4096;
constexpr size_t RECORD_HEAD_SIZE = 13; // size, type, time
constexpr size_t RECORD_CRC_SIZE = 4;
// The longest body: far beyond a 512-bin JSON line (about 4 kB) or an air
// line (about 3 kB); a size field above it is damage, not a record.
constexpr size_t RECORD_MAX_BODY = 65536;

enum class RecordType : uint8_t {
    Frame = 1, // a spectrum line as its version-1 binary frame (frame.h),
               // chosen only when spectrum_line_text gives the line back byte
               // for byte
    Line = 2,  // any other line rfwatchd sent (air lines, spectrum lines a
               // frame cannot hold exactly), its bytes without the "\n"
    Note = 3,  // the recorder's own JSON object, never served as a line:
               // {"note":"daemon","state":"unreachable"|"connected"},
               // {"note":"broker","state":...}, {"note":"lost","lines":N},
               // {"note":"trigger","cause":"..."}, {"note":"full","max_bytes":N}
};

// The header's JSON object: {"radio":"wlan0","driver":"ath11k",
// "unit":"dBm","source":"/run/rfwatchd/wlan0.sock","started_us":N,
// "recorder":"rfwatch-record"}. driver is "ath11k", "ath10k" or "" (not
// known); unit "dBm" (ath11k), "magnitude" (ath10k) or "".
struct RecordingHeader {
    std::string radio;
    std::string driver;
    std::string unit;
    std::string source;   // a socket path or a broker topic
    std::string recorder; // the program (or "rfwatch-web page")
    uint64_t started_us = 0;
};

// The unit a driver's spectrum lines carry: "dBm", "magnitude" or "".
const char *recording_unit_of(std::string_view driver);

// CRC-32 (IEEE 802.3, zlib's crc32), continued from crc (0 to start).
uint32_t recording_crc32(uint32_t crc, std::span<const uint8_t> bytes);

// The file header's bytes.
std::string recording_header_bytes(const RecordingHeader &header);
// One record's bytes; body at most RECORD_MAX_BODY (false otherwise).
bool recording_record_bytes(RecordType type, uint64_t time_us, std::span<const uint8_t> body,
                            std::string &out);
