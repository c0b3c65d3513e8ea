// SPDX-License-Identifier: MIT
// Command line of rfwatchd: the options record the set-up consumes, the
// parser, and the help and version texts.
#pragma once

#include "radio/radio_control.h"

#include <cstdint>
#include <cstdio>

constexpr int MAX_PRIMARY_NAMES = 8;

struct ServerOptions {
    int32_t bin_count;   // 0: automatic, from the channel width
    int32_t listen_fd;   // bound, listening socket
    const char *monitor; // -m, as given
    // Only the first MAX_PRIMARY_NAMES are stored, but every name given is
    // counted so that the set-up can refuse too many.
    char primaries[MAX_PRIMARY_NAMES][INTERFACE_NAME_SIZE];
    int32_t primary_count;
    int32_t background_start; // MHz, 0 when -S was not given
    int32_t background_end;
    uint8_t whole_band;      // -S all
    const char *socket_path; // -s
    float air_margin_db;     // --air-margin; 0 here means the engine's default
};

enum ParseOutcome {
    PARSE_RUN = 0,       // options complete, go on with the start-up
    PARSE_EXIT_OK = 1,   // -h or -v handled
    PARSE_EXIT_FAIL = 2, // refused; the messages and help are printed
};

// Fills opts (defaults first) from argv. Help, version and the messages
// about invalid option values go to out; the monitor-missing error to err.
ParseOutcome parse_command_line(int argc, char **argv, ServerOptions &opts, FILE *out, FILE *err);

void print_help(FILE *out, const char *prog);
void print_version(FILE *out, const char *prog);

// --air-margin: 1 to 40 dB, whole or with one decimal ("12", "12.5").
bool parse_air_margin(const char *text, float &db);

// -b: 0, or a multiple of 8 from 8 to 512 (4 * an even number, 4..512).
bool bin_count_allowed(long value);
