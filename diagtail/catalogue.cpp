// SPDX-License-Identifier: MIT
#include "catalogue.h"

#include "guards.h"

#include <array>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// Indexed by CatalogueError.
constexpr std::array catalogue_messages = {
    "Success",
    "Cannot open the catalogue file",
    "Catalogue file has no data lines",
    "Out of memory for the catalogue",
};
static_assert(catalogue_messages.size() == CATALOGUE_NO_MEMORY + 1,
              "one message per CatalogueError");

// strtok's rule without its hidden state: skip leading separators, end the
// token at the next one. Runs of separators therefore count as one, and an
// empty field never exists.
char *next_token(char *&cursor, const char *separators)
{
    char *p = cursor + strspn(cursor, separators);
    if (*p == '\0') {
        cursor = p;
        return nullptr;
    }
    char *end = p + strcspn(p, separators);
    if (*end != '\0')
        *end++ = '\0';
    cursor = end;
    return p;
}

void trim_trailing(char *text)
{
    size_t len = strlen(text);
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\r' || text[len - 1] == '\n'))
        text[--len] = '\0';
}

char *copy_text(const char *text, size_t len)
{
    char *copy = static_cast<char *>(malloc(len + 1));
    if (copy) {
        memcpy(copy, text, len);
        copy[len] = '\0';
    }
    return copy;
}

} // namespace

const char *catalogue_error_message(int code)
{
    if (code < 0 || static_cast<size_t>(code) >= catalogue_messages.size())
        return "Unknown error";
    return catalogue_messages[static_cast<size_t>(code)];
}

size_t expand_arg_types(const char *field, char (&out)[ARG_TYPES_MAX + 1])
{
    size_t len = 0;
    const char *p = field;
    while (*p != '\0' && len < ARG_TYPES_MAX) {
        // Saturate the count: anything past the cap expands to the cap.
        size_t count = 0;
        while (*p >= '0' && *p <= '9') {
            if (count <= ARG_TYPES_MAX)
                count = count * 10 + static_cast<size_t>(*p - '0');
            ++p;
        }
        if (*p == '\0')
            break; // a count with no character after it is dropped
        char c = *p++;
        if (count == 0)
            count = 1;
        while (count-- > 0 && len < ARG_TYPES_MAX)
            out[len++] = c;
    }
    out[len] = '\0';
    return len;
}

int catalogue_init(MessageCatalogue &cat, int32_t capacity)
{
    cat = MessageCatalogue{};
    if (capacity <= 0)
        return CATALOGUE_NO_MEMORY;
    cat.slots = static_cast<CatalogueEntry *>(
        calloc(static_cast<size_t>(capacity), sizeof(CatalogueEntry)));
    if (!cat.slots)
        return CATALOGUE_NO_MEMORY;
    cat.capacity = capacity;
    return CATALOGUE_OK;
}

bool catalogue_add_line(MessageCatalogue &cat, char *line)
{
    // Keep one slot empty whatever the file does (it may have grown since
    // it was counted), so the table never overflows and every probe
    // sequence still ends at an empty slot.
    if (!cat.slots || cat.count >= cat.capacity - 1)
        return false;

    char *cursor = line;
    char *id_field = next_token(cursor, ",");
    char *types_field = id_field ? next_token(cursor, ",") : nullptr;
    char *format = types_field ? next_token(cursor, "\r\n") : nullptr;
    if (!format)
        return false;

    uint32_t id = static_cast<uint32_t>(strtoul(id_field, nullptr, 10));
    char types[ARG_TYPES_MAX + 1];
    size_t types_len = expand_arg_types(types_field, types);
    trim_trailing(format);

    char *format_copy = copy_text(format, strlen(format));
    char *types_copy = types_len > 0 ? copy_text(types, types_len) : nullptr;
    if (!format_copy || (types_len > 0 && !types_copy)) {
        free(format_copy);
        free(types_copy);
        return false;
    }

    uint32_t capacity = static_cast<uint32_t>(cat.capacity);
    uint32_t slot = id % capacity;
    while (cat.slots[slot].used)
        slot = (slot + 1) % capacity;
    cat.slots[slot] = CatalogueEntry{id, format_copy, types_copy, true};
    ++cat.count;
    return true;
}

int load_catalogue(MessageCatalogue &cat, const char *path)
{
    cat = MessageCatalogue{};
    FreePtr<FILE, fclose> file(fopen(path, "r"));
    if (!file) {
        perror("fopen Data.msc");
        return CATALOGUE_OPEN;
    }

    // Counting pass: one count per fgets piece, like the filling pass.
    char line[CATALOGUE_LINE_BUFFER];
    uint64_t lines = 0;
    while (fgets(line, sizeof line, file.get()))
        ++lines;
    if (lines < 2)
        return CATALOGUE_TOO_SHORT;
    // A table this large cannot be addressed by the signed capacity.
    if (lines - 1 > INT32_MAX / 2)
        return CATALOGUE_NO_MEMORY;
    int rc = catalogue_init(cat, static_cast<int32_t>(2 * (lines - 1)));
    if (rc != CATALOGUE_OK)
        return rc;

    rewind(file.get());
    if (fgets(line, sizeof line, file.get())) { // the header line is skipped
        while (fgets(line, sizeof line, file.get()))
            catalogue_add_line(cat, line);
    }
    fprintf(stderr, "Loaded %d entries from Data.msc\n", cat.count);
    return CATALOGUE_OK;
}

const CatalogueEntry *find_entry(const MessageCatalogue &cat, uint32_t id)
{
    if (cat.count == 0 || !cat.slots)
        return nullptr;
    uint32_t capacity = static_cast<uint32_t>(cat.capacity);
    uint32_t slot = id % capacity;
    for (uint32_t examined = 0; examined < capacity; ++examined) {
        const CatalogueEntry &e = cat.slots[slot];
        if (!e.used)
            return nullptr;
        if (e.id == id)
            return &e;
        slot = (slot + 1) % capacity;
    }
    return nullptr;
}

void free_catalogue(MessageCatalogue *cat)
{
    if (cat == nullptr)
        return;
    if (cat->slots) {
        for (int32_t i = 0; i < cat->capacity; ++i) {
            free(cat->slots[i].format);
            free(cat->slots[i].arg_types);
        }
        free(cat->slots);
    }
    *cat = MessageCatalogue{};
}
