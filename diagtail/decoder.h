// SPDX-License-Identifier: MIT
// Decoding of the ath11k firmware's diagnostic records: one read at a time,
// one output line per firmware message.
#pragma once

#include "catalogue.h"

#include <cstdint>
#include <cstdio>
#include <span>

// The driver hands out at most this much per read.
constexpr size_t READ_BUFFER_SIZE = 4096;

struct DecoderState {
    uint64_t time_base; // added to every record's timestamp; set by kind-0 records
};

// Level names by the descriptor's 3-bit level.
const char *level_name(unsigned level);

// Decodes one read (which starts at a record boundary) and writes the lines
// to out. Only time_base carries over to the next read.
void decode_read(DecoderState &st, const MessageCatalogue &cat, std::span<const uint8_t> bytes,
                 FILE *out);
