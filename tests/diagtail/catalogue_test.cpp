// SPDX-License-Identifier: MIT
#include "catalogue.h"
#include "diag_records.h"
#include "namespaces.h"
#include "temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>

using wdtest::catalogue_file;
using wdtest::catalogue_line;

namespace
{

// Writes the text to a private temporary file, loads it and keeps what
// the loader said on standard error.
class CatalogueFile : public ::testing::Test
{
  protected:
    void TearDown() override { free_catalogue(&cat); }

    int load(const std::string &text)
    {
        free_catalogue(&cat);
        path = dir.path() + "/catalogue";
        std::string why;
        EXPECT_TRUE(wdtest::write_file(path, text, &why)) << why;
        ::testing::internal::CaptureStderr();
        int rc = load_catalogue(cat, path.c_str());
        err = ::testing::internal::GetCapturedStderr();
        return rc;
    }

    const char *format_of(uint32_t id)
    {
        const CatalogueEntry *e = find_entry(cat, id);
        return e ? e->format : nullptr;
    }
    const char *types_of(uint32_t id)
    {
        const CatalogueEntry *e = find_entry(cat, id);
        return e ? e->arg_types : "(no entry)";
    }

    MessageCatalogue cat = {};
    wdtest::TempDir dir{"diagtail-catalogue"};
    std::string path;
    std::string err;
};

std::string expand(const char *field)
{
    char out[ARG_TYPES_MAX + 1];
    size_t n = expand_arg_types(field, out);
    EXPECT_EQ(n, strlen(out));
    return out;
}

} // namespace

TEST(ArgTypes, RunLengthExpansion)
{
    EXPECT_EQ(expand("2u"), "uu");
    EXPECT_EQ(expand("2i3u"), "iiuuu");
    EXPECT_EQ(expand("u2"), "u");
    EXPECT_EQ(expand("0"), "");
    EXPECT_EQ(expand("0i1u"), "iu");
    EXPECT_EQ(expand("iux"), "iux");
    EXPECT_EQ(expand("12u"), "uuuuuuuuuuuu");
    EXPECT_EQ(expand("200u"), std::string(127, 'u'));
    EXPECT_EQ(expand("100i100u"), std::string(100, 'i') + std::string(27, 'u'));
    // A count too large for any integer still just fills the cap.
    EXPECT_EQ(expand("99999999999999999999999i"), std::string(127, 'i'));
    EXPECT_EQ(expand(std::string(300, 'x').c_str()), std::string(127, 'x'));
}

TEST_F(CatalogueFile, HeaderOnlyFails)
{
    EXPECT_EQ(load("id,arg_types,format\n"), CATALOGUE_TOO_SHORT);
    EXPECT_EQ(err, "");
    EXPECT_EQ(find_entry(cat, 0), nullptr);
}

TEST_F(CatalogueFile, EmptyFileFails)
{
    EXPECT_EQ(load(""), CATALOGUE_TOO_SHORT);
}

TEST_F(CatalogueFile, MissingFileFailsWithPerror)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(load_catalogue(cat, "/nonexistent/dir/Data.msc"), CATALOGUE_OPEN);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "fopen Data.msc: No such file or directory\n");
}

TEST_F(CatalogueFile, OneEntryGivesTwoSlots)
{
    ASSERT_EQ(load(catalogue_file({catalogue_line(7, "2u", "rx %u tx %u")})), CATALOGUE_OK);
    EXPECT_EQ(cat.capacity, 2);
    EXPECT_EQ(cat.count, 1);
    EXPECT_EQ(err, "Loaded 1 entries from Data.msc\n");
    EXPECT_STREQ(format_of(7), "rx %u tx %u");
    EXPECT_STREQ(types_of(7), "uu");
    EXPECT_EQ(find_entry(cat, 8), nullptr);
    EXPECT_EQ(find_entry(cat, 9), nullptr); // same slot as 7, different id
}

TEST_F(CatalogueFile, FieldsSplitLikeStrtok)
{
    ASSERT_EQ(load(catalogue_file({
                  "1,u,a, b,c\n",        // the format keeps its commas
                  ",,2,,,i,x=%d\n",      // runs of commas count as one
                  "3,,u,,fmt\n",         // empty arg_types: next field taken, format ",fmt"
                  "4,u\n",               // no format: skipped
                  "5\n",                 // skipped
                  "6,u,\r\n",            // format empty after the comma: skipped
                  "  8x,u,lead blanks\n" // id read like strtoul
              })),
              CATALOGUE_OK);
    EXPECT_EQ(cat.count, 4);
    EXPECT_EQ(err, "Loaded 4 entries from Data.msc\n");
    EXPECT_STREQ(format_of(1), "a, b,c");
    EXPECT_STREQ(format_of(2), "x=%d");
    EXPECT_STREQ(types_of(2), "i");
    EXPECT_STREQ(format_of(3), ",fmt");
    EXPECT_STREQ(types_of(3), "u");
    EXPECT_EQ(find_entry(cat, 4), nullptr);
    EXPECT_EQ(find_entry(cat, 6), nullptr);
    EXPECT_STREQ(format_of(8), "lead blanks");
}

TEST_F(CatalogueFile, FormatTrimmedAtTheEndOnly)
{
    ASSERT_EQ(load(catalogue_file({"1,u,\t  text \t x   \r\n", "2,0,no args  \n", "3,u,   \n"})),
              CATALOGUE_OK);
    EXPECT_STREQ(format_of(1), "\t  text \t x");
    EXPECT_STREQ(format_of(2), "no args");
    EXPECT_EQ(types_of(2), nullptr); // "0" expands to nothing: null
    EXPECT_STREQ(format_of(3), "");  // spaces only: an empty format is still an entry
}

TEST_F(CatalogueFile, DuplicatesKeepTheFirstFound)
{
    ASSERT_EQ(
        load(catalogue_file({catalogue_line(5, "u", "first"), catalogue_line(5, "u", "second"),
                             catalogue_line(6, "u", "six")})),
        CATALOGUE_OK);
    EXPECT_EQ(cat.count, 3);
    EXPECT_STREQ(format_of(5), "first");
    EXPECT_STREQ(format_of(6), "six");
}

TEST_F(CatalogueFile, CollidingIdsProbeAndWrap)
{
    // Capacity 6: ids 5, 11 and 17 all start at slot 5 and wrap to 0 and 1.
    ASSERT_EQ(load(catalogue_file({catalogue_line(5, "u", "a"), catalogue_line(11, "u", "b"),
                                   catalogue_line(17, "u", "c")})),
              CATALOGUE_OK);
    EXPECT_EQ(cat.capacity, 6);
    EXPECT_STREQ(format_of(5), "a");
    EXPECT_STREQ(format_of(11), "b");
    EXPECT_STREQ(format_of(17), "c");
    EXPECT_EQ(find_entry(cat, 23), nullptr);
    // An id beyond 16 bits is stored and matched as it was read.
    EXPECT_EQ(find_entry(cat, 5 + (1u << 16)), nullptr);
}

TEST_F(CatalogueFile, LongLinesAreReadInPieces)
{
    // 1500 characters: two pieces, both counted and both parsed as lines.
    std::string line =
        "9,u," + std::string(1019, 'a') + "77,2i,second piece" + std::string(400, 'b') + "\n";
    ASSERT_EQ(load(catalogue_file({line})), CATALOGUE_OK);
    EXPECT_EQ(cat.capacity, 4);
    EXPECT_EQ(cat.count, 2);
    EXPECT_EQ(strlen(format_of(9)), 1019u);
    EXPECT_STREQ(types_of(77), "ii");
}

TEST_F(CatalogueFile, AllMalformedStillLoadsEmpty)
{
    ASSERT_EQ(load(catalogue_file({"garbage\n", "more\n"})), CATALOGUE_OK);
    EXPECT_EQ(cat.count, 0);
    EXPECT_EQ(err, "Loaded 0 entries from Data.msc\n");
    EXPECT_EQ(find_entry(cat, 0), nullptr);
}

TEST_F(CatalogueFile, BinaryGarbageLoadsWithoutHarm)
{
    std::mt19937 rng(7);
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk.push_back(static_cast<char>(rng()));
    ASSERT_EQ(load("header\n" + junk), CATALOGUE_OK);
    EXPECT_LT(cat.count, cat.capacity);
    for (int32_t i = 0; i < cat.capacity; ++i) {
        const CatalogueEntry &e = cat.slots[i];
        if (!e.used)
            continue;
        EXPECT_LE(strlen(e.format), CATALOGUE_LINE_BUFFER - 1);
        if (e.arg_types) {
            EXPECT_LE(strlen(e.arg_types), ARG_TYPES_MAX);
        }
    }
    for (uint32_t id = 0; id < 70000; id += 7)
        find_entry(cat, id); // must end: checked by the sanitizer build and the time-out
}

TEST(CatalogueInsert, StopsWithOneFreeSlotLeft)
{
    // The file may have grown between the counting pass and the filling
    // pass; a table of 4 slots then takes 3 entries and no more.
    MessageCatalogue cat = {};
    ASSERT_EQ(catalogue_init(cat, 4), CATALOGUE_OK);
    int stored = 0;
    for (int id = 0; id < 10; ++id) {
        std::string line = catalogue_line(static_cast<uint32_t>(id * 4), "u", "m");
        stored += catalogue_add_line(cat, line.data()) ? 1 : 0;
    }
    EXPECT_EQ(stored, 3);
    EXPECT_EQ(cat.count, 3);
    int empty = 0;
    for (int32_t i = 0; i < cat.capacity; ++i)
        empty += cat.slots[i].used ? 0 : 1;
    EXPECT_EQ(empty, 1);
    EXPECT_NE(find_entry(cat, 8), nullptr);
    EXPECT_EQ(find_entry(cat, 12), nullptr); // skipped, and the lookup ends
    EXPECT_EQ(find_entry(cat, 99), nullptr);
    free_catalogue(&cat);
    EXPECT_EQ(cat.slots, nullptr);
}

TEST(CatalogueInsert, NothingIsFoundInAnEmptyOrUnsetCatalogue)
{
    MessageCatalogue cat = {};
    EXPECT_EQ(find_entry(cat, 0), nullptr);
    std::string line = "1,u,x\n";
    EXPECT_FALSE(catalogue_add_line(cat, line.data()));
    EXPECT_STREQ(catalogue_error_message(CATALOGUE_TOO_SHORT), "Catalogue file has no data lines");
    EXPECT_STREQ(catalogue_error_message(42), "Unknown error");
}
