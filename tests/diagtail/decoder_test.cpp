// SPDX-License-Identifier: MIT
#include "decoder.h"
#include "diag_records.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace wdtest;

namespace
{

class Decoder : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(catalogue_init(cat, 64), CATALOGUE_OK);
        add("10,u,rx %u frames");
        add("11,2i,rssi %d noise %d");
        add("12,0,no arguments %d");
        add("13,3u,a=%u b=%u c=%u");
        add("14,u,width %5d|");
    }
    void TearDown() override { free_catalogue(&cat); }

    void add(std::string line) { ASSERT_TRUE(catalogue_add_line(cat, line.data())) << line; }

    std::string decode(const std::vector<uint8_t> &bytes)
    {
        char *buf = nullptr;
        size_t size = 0;
        FILE *out = open_memstream(&buf, &size);
        decode_read(st, cat, bytes, out);
        fclose(out);
        std::string text(buf, size);
        free(buf);
        return text;
    }

    MessageCatalogue cat = {};
    DecoderState st = {};
};

std::vector<uint8_t> words(std::initializer_list<uint32_t> w)
{
    return arg_words(w);
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST_F(Decoder, MessageLine)
{
    EXPECT_EQ(decode(encode_records({message_record(10, {12}, 0x1234, 1, 3)})),
              "[1234] [INFO (3)] rx 12 frames\n");
    EXPECT_EQ(decode(encode_records({message_record(11, {0xFFFFFFC4, 0xFFFFFFA1}, 0, 5, 31)})),
              "[0] [ERR (31)] rssi -60 noise -95\n");
}

TEST_F(Decoder, LevelNames)
{
    const char *names[] = {"VERBOSE", "INFO", "INFO1",   "INFO2",
                           "WARN",    "ERR",  "UNKNOWN", "UNKNOWN"};
    for (uint8_t level = 0; level < 8; ++level)
        EXPECT_EQ(decode(encode_records({message_record(10, {1}, 0xABC, level, 0)})),
                  std::string("[abc] [") + names[level] + " (0)] rx 1 frames\n");
}

TEST_F(Decoder, UnknownIdIsReportedInDecimal)
{
    EXPECT_EQ(decode(encode_records({message_record(40000, {1}, 0xF, 4, 2)})),
              "[f] [WARN (2)] ****WARNING****, FWMSG ID 40000 not found\n");
}

TEST_F(Decoder, FormatUnchangedWithoutPayloadOrTypes)
{
    // arg_types "0" is null: the format is printed as it stands.
    EXPECT_EQ(decode(encode_records({message_record(12, {5})})),
              "[0] [INFO (0)] no arguments %d\n");
    // No payload: likewise, even with argument types.
    EXPECT_EQ(decode(encode_records({message_record(13, {})})), "[0] [INFO (0)] a=%u b=%u c=%u\n");
}

TEST_F(Decoder, PayloadBoundsTheArguments)
{
    // Only 4 payload bytes belong to the first record; the second record's
    // words must not be read as its arguments.
    EXPECT_EQ(decode(encode_records({message_record(13, {7}), message_record(10, {8})})),
              "[0] [INFO (0)] a=7 b=0 c=0\n[0] [INFO (0)] rx 8 frames\n");
}

TEST_F(Decoder, LongTimestampKinds)
{
    DiagRecord r = message_record(10, {3});
    r.kind = 7;
    r.timestamp = 0xAB00000010;
    std::vector<uint8_t> bytes = encode_records({r});
    ASSERT_EQ(bytes[3], 0x07);
    EXPECT_EQ(decode(bytes), "[ab00000010] [INFO (0)] rx 3 frames\n");
    r.timestamp = 0xFFFFFF'FFFFFFFF;
    EXPECT_EQ(decode(encode_records({r})), "[ffffffffffffff] [INFO (0)] rx 3 frames\n");
}

TEST_F(Decoder, TimeBaseAppliesToLaterRecordsAndLaterReads)
{
    EXPECT_EQ(
        decode(encode_records({time_base_record(0x100000000), message_record(10, {1}, 0x10)})),
        "[100000010] [INFO (0)] rx 1 frames\n");
    EXPECT_EQ(st.time_base, 0x100000000u);
    EXPECT_EQ(decode(encode_records({message_record(10, {2}, 0x20)})),
              "[100000020] [INFO (0)] rx 2 frames\n");
    // Wraps in unsigned 64-bit arithmetic.
    decode(encode_records({time_base_record(0xFFFFFFFFFFFFFFF0)}));
    EXPECT_EQ(decode(encode_records({message_record(10, {2}, 0x20)})),
              "[10] [INFO (0)] rx 2 frames\n");
}

TEST_F(Decoder, KindZeroSetsTheTimeBaseOnlyWhenItIsOne)
{
    DiagRecord other = time_base_record(0x55);
    other.msg_id = 2;
    DiagRecord short_one = time_base_record(0x66);
    short_one.payload.resize(4);
    DiagRecord longer = time_base_record(0x77);
    longer.payload = longer.payload + words({0xDEAD});
    EXPECT_EQ(decode(encode_records({other, short_one})), "");
    EXPECT_EQ(st.time_base, 0u);
    EXPECT_EQ(decode(encode_records({longer, message_record(10, {1})})),
              "[77] [INFO (0)] rx 1 frames\n");
    // A time-base record running past the read is dropped with the rest.
    st.time_base = 0;
    DiagRecord cut = time_base_record(0x88);
    cut.payload_len = 16;
    EXPECT_EQ(decode(encode_records({cut})), "");
    EXPECT_EQ(st.time_base, 0u);
}

TEST_F(Decoder, SkippedKindsAreSteppedOver)
{
    std::vector<uint8_t> bytes;
    for (uint8_t kind : {1, 2, 5, 6}) {
        DiagRecord r;
        r.kind = kind;
        r.msg_id = 10;
        r.payload = words({1, 2, 3});
        append_record(bytes, r);
    }
    append_record(bytes, message_record(10, {4}));
    EXPECT_EQ(decode(bytes), "[0] [INFO (0)] rx 4 frames\n");
}

TEST_F(Decoder, WrongDiagIdDropsTheRestOfTheRead)
{
    for (uint8_t kind : {4, 8, 200, 255}) {
        DiagRecord bad;
        bad.kind = kind;
        bad.timestamp = kind <= 4 ? 0x99 : 0x1'00000099;
        bad.level = 4;
        bad.unit = 9;
        std::string time = kind <= 4 ? "99" : "100000099";
        EXPECT_EQ(decode(encode_records({message_record(10, {1}), bad, message_record(10, {2})})),
                  "[0] [INFO (0)] rx 1 frames\n[" + time +
                      "] [WARN (9)] ****WARNING**** WRONG DIAG ID\n")
            << "kind " << int(kind);
    }
    // A two-word kind without room for its descriptor is dropped unprinted.
    EXPECT_EQ(decode(words({0xC8000000, 0})), "");
}

TEST_F(Decoder, IncompleteTailIsDroppedSilently)
{
    std::vector<uint8_t> full =
        encode_records({message_record(13, {1, 2, 3}), message_record(13, {4, 5, 6})});
    for (size_t cut = 20; cut < full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
        EXPECT_EQ(decode(part), "[0] [INFO (0)] a=1 b=2 c=3\n") << "cut at " << cut;
    }
    // A payload length past the read.
    DiagRecord liar = message_record(10, {1});
    liar.payload_len = 255;
    EXPECT_EQ(decode(encode_records({liar})), "");
    // Fewer than 8 bytes: nothing at all.
    EXPECT_EQ(decode({0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x0A}), "");
}

TEST_F(Decoder, UnalignedPayloadLengthsAreCountedInBytes)
{
    // Payload of 6 bytes: pos becomes 14, so the next record is read at
    // word 3 (byte 12), overlapping the payload's last two bytes.
    std::vector<uint8_t> bytes = encode_records({message_record(14, {42})});
    bytes[4] = 6; // descriptor length byte
    bytes.push_back(0xAA);
    bytes.push_back(0xBB);
    ASSERT_EQ(bytes.size(), 14u);
    // Word 3 = bytes 12..15: AA BB then two more bytes that make kind 3.
    bytes.push_back(0x00);
    bytes.push_back(0x03);
    bytes = bytes + words({(10u << 16) | (1u << 8) | 4, 77});
    // 14 + 8 + 4 = 26 bytes counted; 24 bytes present: the second record
    // is incomplete and dropped.
    EXPECT_EQ(decode(bytes), "[0] [INFO (0)] width    42|\n");
    // With two more bytes it fits and its timestamp is the overlap.
    bytes.push_back(0);
    bytes.push_back(0);
    EXPECT_EQ(decode(bytes), "[0] [INFO (0)] width    42|\n[bbaa] [INFO (0)] rx 77 frames\n");
}

TEST_F(Decoder, RandomBytesStayInBounds)
{
    // The sanitizer build turns any out-of-bounds access here into a failure.
    std::mt19937 rng(99);
    size_t lines = 0;
    for (int round = 0; round < 3000; ++round) {
        size_t n = rng() % READ_BUFFER_SIZE;
        std::vector<uint8_t> bytes(n);
        for (uint8_t &b : bytes)
            b = static_cast<uint8_t>(rng());
        // Bias the kinds towards those that are decoded.
        for (size_t i = 3; i < n; i += 4 * (1 + rng() % 8))
            bytes[i] = static_cast<uint8_t>(rng() % 9);
        std::string text = decode(bytes);
        for (char c : text)
            lines += c == '\n';
    }
    EXPECT_GT(lines, 0u);
}
