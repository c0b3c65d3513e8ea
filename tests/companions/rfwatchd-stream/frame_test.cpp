// SPDX-License-Identifier: MIT
// The browser decodes these bytes by offset; a field at the wrong place, a
// bin off by a hundredth or a malformed line let through shows on every page.
#include "frame.h"

#include "capture/sample_json.h"

#include <cJSON.h>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace
{

uint64_t le(const SpectrumFrame &f, size_t offset, size_t bytes)
{
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; i++)
        v |= static_cast<uint64_t>(f.bytes[offset + i]) << (8 * i);
    return v;
}

int16_t bin_at(const SpectrumFrame &f, size_t i)
{
    return static_cast<int16_t>(le(f, FRAME_HEADER_SIZE + 2 * i, 2));
}

// A line as rfwatchd writes it, with the bins' texts given.
std::string line_with(const std::vector<std::string> &bins,
                      const std::string &head = R"("detector":0,"freq_mhz":2437,)"
                                                R"("bandwidth_mhz":20,"noise_dbm":-95,)"
                                                R"("rssi":40,"timestamp":123456,)"
                                                R"("num_aggregated":5,)")
{
    std::string line = "{" + head + "\"bin_count\":" + std::to_string(bins.size()) + ",\"bins\":[";
    for (size_t i = 0; i < bins.size(); i++)
        line += (i ? "," : "") + bins[i];
    return line + "]}\n";
}

// The two-decimal text of h hundredths, as "%.2f" prints it.
std::string hundredths_text(int h)
{
    char text[32];
    snprintf(text, sizeof text, "%s%d.%02d", h < 0 ? "-" : "", std::abs(h) / 100,
             std::abs(h) % 100);
    return text;
}

} // namespace

TEST(Frame, EveryHeaderFieldAtItsOffsetLittleEndian)
{
    // Values whose bytes all differ, so a swapped or shifted field shows.
    std::string line = R"({"detector":1,"freq_mhz":4660,"bandwidth_mhz":258,"noise_dbm":-95,)"
                       R"("rssi":48879,"timestamp":4822678189205111,"num_aggregated":2309737967,)"
                       R"("bin_count":3,"bins":[-95.12,null,-93.00]})";
    SpectrumFrame f{};
    ASSERT_TRUE(frame_from_line(line, f));
    EXPECT_EQ(f.size, FRAME_HEADER_SIZE + 6);
    EXPECT_EQ(f.bytes[0], 1);
    EXPECT_EQ(f.bytes[1], 1);
    EXPECT_EQ(le(f, 2, 2), 0x1234u);
    EXPECT_EQ(le(f, 4, 2), 0x0102u);
    EXPECT_EQ(static_cast<int16_t>(le(f, 6, 2)), -95);
    EXPECT_EQ(le(f, 8, 2), 0xBEEFu);
    EXPECT_EQ(le(f, 10, 2), 3u);
    EXPECT_EQ(le(f, 12, 4), 0x89ABCDEFu);
    EXPECT_EQ(le(f, 16, 8), 0x0011223344556677u);
    EXPECT_EQ(bin_at(f, 0), -9512);
    EXPECT_EQ(bin_at(f, 1), FRAME_BIN_NULL);
    EXPECT_EQ(bin_at(f, 2), -9300);

    // The extremes of each type still fit.
    line = R"({"detector":255,"freq_mhz":65535,"bandwidth_mhz":0,"noise_dbm":-32768,)"
           R"("rssi":65535,"timestamp":0,"num_aggregated":4294967295,"bin_count":1,"bins":[0]})";
    ASSERT_TRUE(frame_from_line(line, f));
    EXPECT_EQ(f.bytes[1], 255);
    EXPECT_EQ(le(f, 2, 2), 65535u);
    EXPECT_EQ(static_cast<int16_t>(le(f, 6, 2)), -32768);
    EXPECT_EQ(le(f, 12, 4), 4294967295u);
}

TEST(Frame, TwoDecimalBinsAreExactAcrossTheDbmRange)
{
    // -150.00 to +50.00 in hundredths, through the parser in lines of 512.
    std::vector<std::string> texts;
    std::vector<int> expected;
    size_t checked = 0;
    auto flush = [&] {
        SpectrumFrame f{};
        ASSERT_TRUE(frame_from_line(line_with(texts), f));
        ASSERT_EQ(le(f, 10, 2), texts.size());
        for (size_t i = 0; i < texts.size(); i++)
            ASSERT_EQ(bin_at(f, i), expected[i]) << texts[i];
        checked += texts.size();
        texts.clear();
        expected.clear();
    };
    for (int h = -15000; h <= 5000; h++) {
        texts.push_back(hundredths_text(h));
        expected.push_back(h);
        EXPECT_EQ(bin_hundredths(strtod(texts.back().c_str(), nullptr)), h) << texts.back();
        if (texts.size() == FRAME_MAX_BINS)
            flush();
    }
    flush();
    EXPECT_EQ(checked, 20001u);
}

TEST(Frame, BinRoundingNullAndClamping)
{
    EXPECT_EQ(bin_hundredths(-95.12), -9512); // -9511.999... times 100
    EXPECT_EQ(bin_hundredths(0.125), 13);     // exact halves go away from zero
    EXPECT_EQ(bin_hundredths(-0.125), -13);
    EXPECT_EQ(bin_hundredths(-0.0), 0);
    EXPECT_EQ(bin_hundredths(327.67), 32767);
    EXPECT_EQ(bin_hundredths(327.68), 32767);
    EXPECT_EQ(bin_hundredths(65535), 32767); // ath10k writes raw magnitudes
    EXPECT_EQ(bin_hundredths(1e300), 32767);
    EXPECT_EQ(bin_hundredths(-327.67), -32767);
    EXPECT_EQ(bin_hundredths(-327.68), -32767); // never the null marker
    EXPECT_EQ(bin_hundredths(-1e300), -32767);
    EXPECT_EQ(bin_hundredths(std::numeric_limits<double>::quiet_NaN()), FRAME_BIN_NULL);
    EXPECT_EQ(bin_hundredths(std::numeric_limits<double>::infinity()), FRAME_BIN_NULL);
    EXPECT_EQ(bin_hundredths(-std::numeric_limits<double>::infinity()), FRAME_BIN_NULL);

    SpectrumFrame f{};
    ASSERT_TRUE(frame_from_line(line_with({"null", "400.00", "-400.00", "1e5"}), f));
    EXPECT_EQ(bin_at(f, 0), FRAME_BIN_NULL);
    EXPECT_EQ(bin_at(f, 1), 32767);
    EXPECT_EQ(bin_at(f, 2), -32767);
    EXPECT_EQ(bin_at(f, 3), 32767);
}

TEST(Frame, TheBinsArrayDecidesTheCount)
{
    std::vector<std::string> bins(FRAME_MAX_BINS, "-90.50");
    SpectrumFrame f{};
    ASSERT_TRUE(frame_from_line(line_with(bins), f));
    EXPECT_EQ(f.size, FRAME_HEADER_SIZE + 2 * FRAME_MAX_BINS);
    EXPECT_EQ(bin_at(f, FRAME_MAX_BINS - 1), -9050);

    // bin_count saying otherwise: the browser reads n bins, so n is what is there.
    std::string line = R"({"detector":0,"freq_mhz":2437,"bandwidth_mhz":20,"noise_dbm":-95,)"
                       R"("rssi":40,"timestamp":1,"num_aggregated":1,"bin_count":64,)"
                       R"("bins":[-1.00,-2.00]})";
    ASSERT_TRUE(frame_from_line(line, f));
    EXPECT_EQ(le(f, 10, 2), 2u);
    EXPECT_EQ(f.size, FRAME_HEADER_SIZE + 4);
}

TEST(Frame, MalformedLinesAreRefused)
{
    const std::string head = R"("detector":0,"freq_mhz":2437,"bandwidth_mhz":20,"noise_dbm":-95,)"
                             R"("rssi":40,"timestamp":123456,"num_aggregated":5,)";
    SpectrumFrame f{};
    ASSERT_TRUE(frame_from_line(line_with({"-1.00"}, head), f));

    std::vector<std::string> bad = {
        "",
        "not json",
        R"({"detector":0,)",
        "[1,2,3]",
        line_with({"-1.00"}, head) + "{}", // a second value after the line
        line_with({}, head),               // nothing to draw
        line_with({"\"-1.00\""}, head),    // a bin as a string
        line_with({"[1]"}, head),          // a bin as an array
        line_with(std::vector<std::string>(FRAME_MAX_BINS + 1, "-1.00"), head),
        R"({"detector":0,"freq_mhz":2437,"bandwidth_mhz":20,"noise_dbm":-95,"rssi":40,)"
        R"("timestamp":1,"num_aggregated":5,"bin_count":1,"bins":-1.00})",
    };
    // Each field missing, of the wrong type, fractional or out of its range.
    struct Change {
        const char *from;
        const char *to;
    };
    const Change changes[] = {
        {R"("detector":0,)", ""},
        {R"("freq_mhz":2437,)", ""},
        {R"("bandwidth_mhz":20,)", ""},
        {R"("noise_dbm":-95,)", ""},
        {R"("rssi":40,)", ""},
        {R"("timestamp":123456,)", ""},
        {R"("num_aggregated":5,)", ""},
        {R"("freq_mhz":2437)", R"("freq_mhz":"2437")"},
        {R"("freq_mhz":2437)", R"("freq_mhz":null)"},
        {R"("freq_mhz":2437)", R"("freq_mhz":2437.5)"},
        {R"("freq_mhz":2437)", R"("freq_mhz":65536)"},
        {R"("freq_mhz":2437)", R"("freq_mhz":-1)"},
        {R"("detector":0)", R"("detector":256)"},
        {R"("detector":0)", R"("detector":true)"},
        {R"("noise_dbm":-95)", R"("noise_dbm":-32769)"},
        {R"("noise_dbm":-95)", R"("noise_dbm":32768)"},
        {R"("rssi":40)", R"("rssi":-1)"},
        {R"("num_aggregated":5)", R"("num_aggregated":4294967296)"},
        {R"("timestamp":123456)", R"("timestamp":18446744073709551616)"},
        {R"("timestamp":123456)", R"("timestamp":-1)"},
        {R"("timestamp":123456)", R"("timestamp":1e300)"},
    };
    for (const Change &c : changes) {
        std::string changed = head;
        size_t at = changed.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        changed.replace(at, strlen(c.from), c.to);
        bad.push_back(line_with({"-1.00"}, changed));
    }
    std::string no_count = line_with({"-1.00"}, head);
    no_count.replace(no_count.find(R"("bin_count":1,)"), 14, "");
    bad.push_back(no_count);

    for (const std::string &line : bad)
        EXPECT_FALSE(frame_from_line(line, f)) << line;
}

TEST(Frame, ADaemonLineOf512DbmBinsShrinksToAThird)
{
    // The line as rfwatchd's own writer makes it, with ordinary noise-floor
    // values around -95 dBm.
    SpectralSample sample{};
    sample.detector = 0;
    sample.freq_mhz = 5500;
    sample.bandwidth_mhz = 80;
    sample.noise_dbm = -96;
    sample.rssi = 23;
    sample.timestamp = 987654321;
    sample.bin_count = MAX_SPECTRAL_BINS;
    for (size_t i = 0; i < MAX_SPECTRAL_BINS; i++)
        sample.bins[i] = -95.0F + static_cast<float>((i * 37) % 1000) / 100.0F;
    sample.bins[7] = std::numeric_limits<float>::quiet_NaN();
    char *json = sample_to_json(sample, 5);
    ASSERT_NE(json, nullptr);
    std::string line = std::string(json) + "\n";
    cJSON_free(json);

    SpectrumFrame f{};
    ASSERT_TRUE(frame_from_line(line, f));
    EXPECT_EQ(f.size, FRAME_HEADER_SIZE + 2 * MAX_SPECTRAL_BINS);
    EXPECT_LE(f.size * 3, line.size()) << f.size << " bytes for a line of " << line.size();
    printf("512-bin dBm line: %zu bytes, frame: %zu bytes (%.1f%%)\n", line.size(), f.size,
           100.0 * static_cast<double>(f.size) / static_cast<double>(line.size()));

    EXPECT_EQ(le(f, 2, 2), 5500u);
    EXPECT_EQ(le(f, 12, 4), 5u);
    EXPECT_EQ(le(f, 16, 8), 987654321u);
    EXPECT_EQ(bin_at(f, 7), FRAME_BIN_NULL);
    for (size_t i = 0; i < MAX_SPECTRAL_BINS; i++) {
        if (i == 7)
            continue;
        // What the daemon printed with "%.2f", in hundredths.
        auto printed = static_cast<int>(std::lround(static_cast<double>(sample.bins[i]) * 100.0));
        ASSERT_EQ(bin_at(f, i), printed) << i;
    }
}

TEST(Frame, BytesAreTakenOnlyAsAWholeVersionOneFrame)
{
    SpectrumFrame f{};
    ASSERT_TRUE(frame_from_line(line_with({"-90.25", "null", "-41.00"}), f));
    const std::vector<uint8_t> good(f.bytes.begin(), f.bytes.begin() + static_cast<long>(f.size));
    SpectrumFrame back{};
    ASSERT_TRUE(frame_from_bytes(good, back));
    EXPECT_EQ(back.size, f.size);
    EXPECT_TRUE(std::equal(good.begin(), good.end(), back.bytes.begin()));

    std::vector<uint8_t> bad = good;
    bad.pop_back(); // cut short
    EXPECT_FALSE(frame_from_bytes(bad, back));
    bad = good;
    bad.push_back(0); // trailing byte
    EXPECT_FALSE(frame_from_bytes(bad, back));
    bad = good;
    bad[0] = 2; // a version this reader does not know
    EXPECT_FALSE(frame_from_bytes(bad, back));
    bad = good;
    bad[10] = 0; // no bins, yet bytes for three
    EXPECT_FALSE(frame_from_bytes(bad, back));
    // A header claiming more bins than any frame holds is refused before
    // anything is copied.
    std::vector<uint8_t> huge(FRAME_HEADER_SIZE + 2 * 600, 0);
    huge[0] = FRAME_VERSION;
    huge[10] = 600 & 0xff;
    huge[11] = 600 >> 8;
    EXPECT_FALSE(frame_from_bytes(huge, back));
    EXPECT_FALSE(frame_from_bytes(std::span<const uint8_t>(), back));
}

namespace
{

std::string daemon_line(const SpectralSample &sample, uint32_t count)
{
    char *json = sample_to_json(sample, count);
    std::string line = json != nullptr ? json : "";
    cJSON_free(json);
    return line;
}

SpectralSample sample_of(std::vector<float> bins)
{
    SpectralSample s{};
    s.freq_mhz = 2437;
    s.bandwidth_mhz = 20;
    s.noise_dbm = -109;
    s.rssi = 40;
    s.timestamp = 123456;
    s.bin_count = bins.size();
    std::copy(bins.begin(), bins.end(), s.bins);
    return s;
}

} // namespace

// A recording keeps a spectrum line as its frame only because the line can
// be written again from it exactly: checked against the daemon's own writer.
TEST(Frame, TheLineTextIsTheDaemonsOwnByteForByte)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    SpectralSample extremes = sample_of({1, 255, 0, nan});
    extremes.detector = 255;
    extremes.freq_mhz = 65535;
    extremes.bandwidth_mhz = 65535;
    extremes.noise_dbm = -32768;
    extremes.rssi = 65535;
    extremes.timestamp = uint64_t{1} << 53; // the parser reads numbers as doubles
    SpectralSample small = sample_of({-95.125F, 0.005F, -0.015F, 327.67F, -327.67F, 9.999F});
    small.noise_dbm = 32767;
    small.timestamp = 0;
    const struct {
        const char *name;
        SpectralSample sample;
        uint32_t count;
    } cases[] = {
        {"dBm with null", sample_of({-95.12F, nan, -60.5F, -100}), 5},
        {"extremes of every field", extremes, UINT32_MAX},
        {"roundings at the edges", small, 0},
    };
    SpectrumFrame f{};
    std::string text;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string line = daemon_line(c.sample, c.count);
        ASSERT_TRUE(frame_from_line(line, f)) << line;
        spectrum_line_text(f, text);
        EXPECT_EQ(text, line);
    }

    // Every hundredth a frame holds, through the daemon's writer and back.
    size_t checked = 0;
    for (int from = -32767; from <= 32767; from += static_cast<int>(FRAME_MAX_BINS)) {
        std::vector<float> bins;
        for (int h = from; h <= 32767 && bins.size() < FRAME_MAX_BINS; h++)
            bins.push_back(static_cast<float>(h) / 100.0F);
        const std::string line = daemon_line(sample_of(bins), 1);
        ASSERT_TRUE(frame_from_line(line, f));
        spectrum_line_text(f, text);
        if (line.find("-0.00") == std::string::npos)
            ASSERT_EQ(text, line);
        else // a negative that rounds to zero loses its sign in a frame
            ASSERT_NE(text, line);
        checked += bins.size();
    }
    EXPECT_EQ(checked, 65535u);
}
