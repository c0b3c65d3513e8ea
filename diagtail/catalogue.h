// SPDX-License-Identifier: MIT
// The firmware's message catalogue: message identifier -> format text and
// argument types, held in an open-addressing hash table for the whole run.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest argument-type string kept: a record carries at most 63 argument
// words, so anything past 127 cannot matter.
constexpr size_t ARG_TYPES_MAX = 127;
// Lines are read in pieces of at most 1023 characters.
constexpr size_t CATALOGUE_LINE_BUFFER = 1024;

struct CatalogueEntry {
    uint32_t id;
    char *format;    // trimmed format text, owned
    char *arg_types; // expanded argument types, owned; null when empty
    bool used;
};

struct MessageCatalogue {
    int32_t capacity;      // number of slots
    CatalogueEntry *slots; // zero-filled at allocation
    int32_t count;         // entries stored
};

enum CatalogueError {
    CATALOGUE_OK = 0,
    CATALOGUE_OPEN = 1,      // file missing or unreadable (perror printed)
    CATALOGUE_TOO_SHORT = 2, // fewer than two lines
    CATALOGUE_NO_MEMORY = 3, // slot array could not be allocated
};

const char *catalogue_error_message(int code);

// Reads the catalogue file at path. On success prints the "Loaded" line on
// standard error. On failure the catalogue is left empty.
int load_catalogue(MessageCatalogue &cat, const char *path);

// Allocates `capacity` empty slots (capacity > 0). load_catalogue and
// catalogue_init are undone by free_catalogue.
int catalogue_init(MessageCatalogue &cat, int32_t capacity);

// Parses one data line (modified in place) and inserts it. Returns true
// when an entry was stored; false when a field is missing, the table has
// only its last free slot left, or memory ran out.
bool catalogue_add_line(MessageCatalogue &cat, char *line);

// Expands run-length argument types ("2i3u" -> "iiuuu") into out, cut at
// ARG_TYPES_MAX characters. Returns the expanded length.
size_t expand_arg_types(const char *field, char (&out)[ARG_TYPES_MAX + 1]);

// The entry for a 16-bit identifier, or null.
const CatalogueEntry *find_entry(const MessageCatalogue &cat, uint32_t id);

// Releases the entries and slots and leaves cat empty (the record itself is
// the caller's); nullptr and an empty catalogue are allowed.
void free_catalogue(MessageCatalogue *cat);

