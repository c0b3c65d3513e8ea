// SPDX-License-Identifier: MIT
// diag-sample: writes a sample ath11k firmware message catalogue and a
// diagnostic stream of records that use it, so diagtail can be shown and
// exercised without the real firmware.
// The records are encoded by the test kit's builder, the same one the
// decoder's tests use, so the sample and the tests cannot disagree.
#include "diag_records.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct SampleMessage {
    uint16_t id;
    const char *arg_types; // run-length form, as in the catalogue file
    const char *format;
};

// The catalogue: firmware-style log templates with the argument types a
// real catalogue uses (signed, unsigned, hex, characters, pointers).
constexpr SampleMessage catalogue[] = {
    {4096, "3u", "WLAN: vdev %u started on freq %u MHz, bw %u MHz"},
    {4097, "2i", "PHY: noise floor chain0 %d dBm chain1 %d dBm"},
    {4098, "u2i", "RSSI: peer %u rssi %d dBm snr %+d dB"},
    {4099, "4u", "TX: ac %u queued %u sent %u dropped %u"},
    {4100, "u", "BCN: missed %u consecutive beacons"},
    {4101, "2x", "MAC: tsf hi 0x%08x lo 0x%08x"},
    {4102, "2cu", "REG: country %c%c, %u rules applied"},
    {4103, "p", "DMA: srng base %p"},
    {4104, "5u", "SCAN: chan %u dwell %u ms probes %u results %u aborted %u"},
    {4105, "6u", "ROAM: vdev %u from %04x to %04x rssi %u->%u after %u ms"},
    {4106, "0", "WDOG: firmware heartbeat"},
    {4107, "u", "THERM: throttling level %u"},
    {4108, "iu", "CAL: calibration failed, code %d on chain %u"},
    {4109, "3u", "HTT: rx ring %u refilled with %u buffers, %u%% full"},
};

constexpr uint64_t TIME_BASE = 0x12'00000000;

// A message record of the given kind (3, or 7 with a 56-bit time).
wdtest::DiagRecord message(uint8_t kind, uint64_t timestamp, uint16_t msg_id, uint8_t level,
                           uint8_t unit, std::initializer_list<uint32_t> args)
{
    wdtest::DiagRecord r = wdtest::message_record(msg_id, args, 0, level, unit);
    r.kind = kind;
    r.timestamp = timestamp;
    return r;
}

// A record of kind 1, which the decoder steps over.
wdtest::DiagRecord skipped(uint64_t timestamp, uint16_t msg_id,
                           std::initializer_list<uint32_t> args)
{
    wdtest::DiagRecord r;
    r.kind = 1;
    r.timestamp = timestamp;
    r.msg_id = msg_id;
    r.payload = wdtest::arg_words(args);
    return r;
}

const std::vector<wdtest::DiagRecord> &stream()
{
    static const std::vector<wdtest::DiagRecord> records = {
        wdtest::time_base_record(TIME_BASE),
        message(3, 0x000100, 4096, 1, 1, {0, 5180, 80}),
        message(3, 0x000180, 4097, 2, 2, {static_cast<uint32_t>(-96), static_cast<uint32_t>(-98)}),
        skipped(0x000190, 77, {1, 2, 3}),
        message(3, 0x000200, 4098, 1, 3, {3, static_cast<uint32_t>(-58), 37}),
        message(3, 0x000280, 4099, 0, 4, {2, 1200, 1187, 13}),
        message(7, 0x00000300, 4100, 4, 5, {7}),
        message(3, 0x000380, 4101, 0, 6, {0x0000002A, 0x9C3F01D0}),
        message(3, 0x000400, 4102, 1, 7, {'U', 'S', 24}),
        message(3, 0x000480, 4103, 3, 8, {0x7C01A000}),
        message(7, 0x00000500, 4104, 1, 9, {36, 110, 2, 14, 0}),
        message(7, 0x00000580, 4105, 1, 10, {0, 0x1A2B, 0x3C4D, 40, 62, 35}),
        message(3, 0x000600, 4106, 0, 11, {}),
        message(3, 0x000680, 4107, 4, 12, {2}),
        message(3, 0x000700, 4108, 5, 13, {static_cast<uint32_t>(-5), 1}),
        message(3, 0x000780, 4109, 1, 1, {1, 512, 75}),
    };
    return records;
}

std::vector<uint8_t> encode_stream()
{
    std::vector<uint8_t> out;
    for (const wdtest::DiagRecord &r : stream())
        wdtest::append_record(out, r);
    return out;
}

bool write_catalogue(const char *path)
{
    FILE *f = fopen(path, "w");
    if (!f) {
        perror(path);
        return false;
    }
    std::string text = "id,arg_types,format\n";
    for (const SampleMessage &m : catalogue)
        text += wdtest::catalogue_line(m.id, m.arg_types, m.format);
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok) {
        perror(path);
        return false;
    }
    return true;
}

bool write_stream(const char *path)
{
    std::vector<uint8_t> bytes = encode_stream();
    FILE *f = fopen(path, "wb");
    if (!f) {
        perror(path);
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0 || !ok) {
        perror(path);
        return false;
    }
    return true;
}

void usage(FILE *to)
{
    size_t messages = 0;
    for (const wdtest::DiagRecord &r : stream())
        messages += r.kind == 3 || r.kind == 7;
    fprintf(to,
            "Usage: diag-sample CATALOGUE STREAM\n"
            "\n"
            "Writes a sample ath11k firmware message catalogue (the Data.msc line\n"
            "format: a header line, then id,arg_types,format) to CATALOGUE, and a\n"
            "sample binary diagnostic stream to STREAM: a time-base record, %zu\n"
            "firmware log messages (kinds 3 and 7, signed, unsigned, hex, character\n"
            "and pointer arguments) and one record of a skipped kind.\n"
            "\n"
            "The stream is %zu bytes, less than one 4096-byte read, so written to\n"
            "diagtail's FIFO in one go it is decoded whole.\n"
            "\n"
            "  -h, --help  show this text and exit\n",
            messages, encode_stream().size());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc != 3) {
        usage(stderr);
        return 2;
    }
    return write_catalogue(argv[1]) && write_stream(argv[2]) ? 0 : 1;
}
