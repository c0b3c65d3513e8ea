// SPDX-License-Identifier: MIT
// Hand-made seeds of the diagtail harnesses: catalogue files with the
// line forms the loader must handle, diagnostic records of every kind, and
// formats with their argument types and words.
#include "diag_records.h"
#include "fuzz_seed.h"

#include <string>

using namespace wdtest;

namespace
{

void catalogue_seeds(const char *root)
{
    SeedWriter w(root, "catalogue_fuzz");
    w.write("typical", catalogue_file({catalogue_line(1, "i", "signed %d"),
                                       catalogue_line(2, "2i3u", "%d %i %u %x %X"),
                                       catalogue_line(3, "0", "no arguments, but a comma"),
                                       catalogue_line(65535, "u", "last id %u")}));
    w.write("header_only", "id,arg_types,format\n");
    w.write("trailing_blanks_crlf", catalogue_file({"7,u,value %u   \r\n", "8,200u,cut\r\n"}));
    w.write("duplicates",
            catalogue_file({catalogue_line(5, "u", "first %u"), catalogue_line(5, "u", "second %u"),
                            catalogue_line(13, "u", "same slot %u")}));
    w.write("missing_fields", catalogue_file({"9,,only two fields\n", "10\n", ",,,\n",
                                              "  11 ,u2,count at the end\n"}));
    w.write("long_line", catalogue_file({"12,u," + std::string(1500, 'x') + "\n"}));
    w.write("no_final_newline", "header\n4,u,%u");
}

void decoder_seeds(const char *root)
{
    SeedWriter w(root, "decoder_fuzz");
    w.write("messages",
            encode_records({message_record(1, {0xffffffff}, 0x10),
                            message_record(2, {1, 2, 3, 4, 5}, 0x20, 4, 31),
                            message_record(3, {0xff}, 0x30, 6), message_record(999, {}, 0x40, 7)}));
    w.write("time_base",
            encode_records({time_base_record(0x100000000ull), message_record(0, {}, 0x10)}));
    DiagRecord long_ts = message_record(6, {0xfffffffe, 7, 0x80000000, 1});
    long_ts.kind = 7;
    long_ts.timestamp = 0xab00000010ull;
    DiagRecord skipped;
    skipped.kind = 5;
    skipped.payload = arg_words({1, 2, 3});
    DiagRecord wrong;
    wrong.kind = 4;
    w.write("kinds", encode_records({long_ts, skipped, message_record(8, {42}), wrong,
                                     message_record(9, {1})}));
    DiagRecord odd = message_record(10, {1, 2});
    odd.payload.push_back(0x33); // 9 bytes: the next record overlaps it
    DiagRecord liar = message_record(12, {1});
    liar.payload_len = 200;
    w.write("odd_and_lying_lengths", encode_records({odd, message_record(11, {}), liar}));
}

// Format, NUL, argument types, NUL, argument words.
std::string render_input(const std::string &format, const std::string &types,
                         std::initializer_list<uint32_t> args)
{
    std::vector<uint8_t> words = arg_words(args);
    return format + '\0' + types + '\0' + std::string(words.begin(), words.end());
}

void render_seeds(const char *root)
{
    SeedWriter w(root, "render_fuzz");
    w.write("signed", render_input("%d|%5d|%-5d;|%05d|%+d|% d", "iiiiii",
                                   {0xffffffff, 42, 42, static_cast<uint32_t>(-42), 5, 5}));
    w.write("unsigned", render_input("%d %u %x %X %8p %p %.3d %lu", "uuuuuuuu",
                                     {0xffffffff, 7, 255, 255, 255, 0, 7, 7}));
    w.write("others", render_input("%s %% %c%c %q and a lone %", "uu", {'A', 0}));
    w.write("types_used_up", render_input("%u %u %u", "u", {1, 2, 3}));
    w.write("wide", render_input("%600d|%-1000u|%0999x", "iuu", {1, 2, 3}));
    w.write("long_text", render_input(std::string(600, 'z') + "%u", "u", {9}));
}

} // namespace

int main(int argc, char **argv)
{
    const char *root = seed_root(argc, argv);
    catalogue_seeds(root);
    decoder_seeds(root);
    render_seeds(root);
    return 0;
}
