// SPDX-License-Identifier: MIT
// The diagnostic stream: any bytes, in reads of up to 4096 as the program
// reads them, decoded through a catalogue whose formats use every
// conversion. Every output line is "[<hex>] [<level> (<unit>)] <text>\n"
// with a known level name, a unit below 32 and a text of at most 511
// characters, and a read of n bytes prints at most n / 8 lines.
#include "catalogue.h"
#include "decoder.h"
#include "fuzz_check.h"
#include "render.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace
{

// Identifiers 0 to 12; the fuzzer meets them through the lookup's compares.
constexpr const char *CATALOGUE_LINES[] = {
    "0,0,no arguments at all",
    "1,i,signed %d and again %i",
    "2,2i3u,%d %i %u %x %X",
    "3,u,%p and %8p and %-8p|",
    // No %c: a character argument may be a line feed, which the line format
    // passes on as it is (the renderer's own harness covers %c).
    "4,3u,%u%u%u",
    "5,u,%s %% %q %5s",
    "6,4i,%05d|%-5d|%+d|% d",
    "7,2u,%.3d %lu %hhx %zu %jd %td",
    "8,u,%1000d",
    "9,i,%-1000d tail",
    "10,200u,%u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u %u",
    "11,u,ends with a lone %",
    "12,5u,more conversions %u %u than types %u %u %u %u %u %u",
};

const MessageCatalogue &catalogue()
{
    static MessageCatalogue cat = [] {
        MessageCatalogue c;
        FUZZ_CHECK(catalogue_init(c, 64) == CATALOGUE_OK);
        for (const char *text : CATALOGUE_LINES) {
            char line[CATALOGUE_LINE_BUFFER];
            snprintf(line, sizeof line, "%s\n", text);
            FUZZ_CHECK(catalogue_add_line(c, line));
        }
        return c;
    }();
    return cat;
}

bool is_hex(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789abcdef") == std::string_view::npos &&
           (s.size() == 1 || s[0] != '0');
}

void check_line(std::string_view line)
{
    FUZZ_CHECK(line.find('\0') == std::string_view::npos);
    FUZZ_CHECK(line.substr(0, 1) == "[");
    size_t close = line.find("] [");
    FUZZ_CHECK(close != std::string_view::npos && is_hex(line.substr(1, close - 1)));
    std::string_view rest = line.substr(close + 3);
    size_t open = rest.find(" (");
    FUZZ_CHECK(open != std::string_view::npos);
    std::string_view level = rest.substr(0, open);
    bool known = false;
    for (std::string_view name : {"VERBOSE", "INFO", "INFO1", "INFO2", "WARN", "ERR", "UNKNOWN"})
        known = known || level == name;
    FUZZ_CHECK(known);
    rest = rest.substr(open + 2);
    size_t end = rest.find(")] ");
    FUZZ_CHECK(end != std::string_view::npos && end >= 1 && end <= 2);
    int unit = 0;
    for (char c : rest.substr(0, end)) {
        FUZZ_CHECK(c >= '0' && c <= '9');
        unit = unit * 10 + (c - '0');
    }
    FUZZ_CHECK(unit < 32);
    FUZZ_CHECK(rest.size() - end - 3 <= TEXT_MAX);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const MessageCatalogue &cat = catalogue();
    DecoderState st = {};
    for (size_t at = 0; at < size; at += READ_BUFFER_SIZE) {
        size_t n = size - at < READ_BUFFER_SIZE ? size - at : READ_BUFFER_SIZE;
        char *text = nullptr;
        size_t length = 0;
        FILE *out = open_memstream(&text, &length);
        FUZZ_CHECK(out != nullptr);
        decode_read(st, cat, {data + at, n}, out);
        FUZZ_CHECK(fclose(out) == 0);

        std::string_view lines(text, length);
        FUZZ_CHECK(lines.empty() || lines.back() == '\n');
        size_t count = 0;
        while (!lines.empty()) {
            size_t nl = lines.find('\n');
            check_line(lines.substr(0, nl));
            lines.remove_prefix(nl + 1);
            ++count;
        }
        FUZZ_CHECK(count <= n / 8);
        free(text);
    }
    return 0;
}
