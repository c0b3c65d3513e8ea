// SPDX-License-Identifier: MIT
// The message catalogue file: any bytes load (or fail as too short) into a
// table sized from the fgets pieces, which always keeps an empty slot, holds
// trimmed formats and expanded argument types, and finds every entry it
// holds by its identifier. The same lines added to a table too small for
// them must stop inserting rather than fill it.
#include "catalogue.h"
#include "fuzz_check.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace
{

// Where fgets with a 1024-byte buffer ends each piece of the file.
template <typename Piece> size_t for_each_piece(const uint8_t *data, size_t size, Piece piece)
{
    size_t pieces = 0, at = 0;
    while (at < size) {
        size_t n = 0;
        while (at + n < size && n < CATALOGUE_LINE_BUFFER - 1 && data[at + n++] != '\n') {
        }
        piece(data + at, n);
        at += n;
        ++pieces;
    }
    return pieces;
}

void check_table(const MessageCatalogue &cat)
{
    FUZZ_CHECK(cat.count >= 0 && cat.count < cat.capacity);
    int32_t used = 0;
    for (int32_t i = 0; i < cat.capacity; ++i) {
        const CatalogueEntry &e = cat.slots[i];
        if (!e.used) {
            FUZZ_CHECK(e.format == nullptr && e.arg_types == nullptr);
            continue;
        }
        ++used;
        FUZZ_CHECK(e.format != nullptr);
        size_t len = strlen(e.format);
        if (len > 0) {
            char last = e.format[len - 1];
            FUZZ_CHECK(last != ' ' && last != '\r' && last != '\n');
        }
        if (e.arg_types != nullptr) {
            size_t types = strlen(e.arg_types);
            FUZZ_CHECK(types >= 1 && types <= ARG_TYPES_MAX);
        }
        // Duplicates are stored as they come; a lookup finds one of them.
        const CatalogueEntry *found = find_entry(cat, e.id);
        FUZZ_CHECK(found != nullptr && found->id == e.id);
    }
    FUZZ_CHECK(used == cat.count);
}

// A lookup of an identifier that no slot holds ends, with nothing.
void check_absent_id(const MessageCatalogue &cat, uint32_t id)
{
    for (int32_t i = 0; i < cat.capacity; ++i)
        if (cat.slots[i].used && cat.slots[i].id == id)
            return;
    FUZZ_CHECK(find_entry(cat, id) == nullptr);
}

int memory_file()
{
    static int fd = memfd_create("Data.msc", 0);
    FUZZ_CHECK(fd >= 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fd = memory_file();
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);

    size_t pieces = for_each_piece(data, size, [](const uint8_t *, size_t) {});
    MessageCatalogue cat;
    int rc = load_catalogue(cat, path);
    if (pieces < 2) {
        FUZZ_CHECK(rc == CATALOGUE_TOO_SHORT && cat.slots == nullptr);
    } else {
        FUZZ_CHECK(rc == CATALOGUE_OK);
        FUZZ_CHECK(static_cast<size_t>(cat.capacity) == 2 * (pieces - 1));
        FUZZ_CHECK(static_cast<size_t>(cat.count) <= pieces - 1);
        check_table(cat);
        // Identifiers that may or may not be there: the probe always ends.
        for (size_t i = 0; i + 2 <= size && i < 64; i += 2) {
            uint32_t id = uint32_t{data[i]} | uint32_t{data[i + 1]} << 8;
            const CatalogueEntry *e = find_entry(cat, id);
            FUZZ_CHECK(e == nullptr || e->id == id);
        }
        check_absent_id(cat, 0x12345678);
    }
    free_catalogue(&cat);

    // A table of 1 to 8 slots fed every piece: it never fills.
    MessageCatalogue small;
    FUZZ_CHECK(catalogue_init(small, size > 0 ? data[0] % 8 + 1 : 1) == CATALOGUE_OK);
    for_each_piece(data, size, [&small](const uint8_t *piece, size_t n) {
        char line[CATALOGUE_LINE_BUFFER];
        memcpy(line, piece, n);
        line[n] = '\0';
        catalogue_add_line(small, line);
        check_table(small);
        check_absent_id(small, 0x12345678);
    });
    free_catalogue(&small);
    return 0;
}
