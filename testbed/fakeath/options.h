// SPDX-License-Identifier: MIT
// fakeath's command line.
#pragma once

#include "sim.h"

#include <string>

namespace fakeath
{

struct Options {
    unsigned phy = 0;
    std::string root = "/sys/kernel/debug";
    bool fixed_channel = false; // --freq given: nl80211 is not asked
    Channel channel;
    std::string log_path;
    std::string ready_file;
    std::string replay_path;
    std::string truth_path; // per-second truth of the emitters
    bool replay_loop = false;
    uint64_t seed = 0;
    // fw_diag feeder mode.
    std::string fw_diag_file;
    std::string fw_diag_path = "/sys/kernel/debug/ath11k/pci-0000:01:00.0/fw_diag";
    size_t fw_diag_chunk = 0; // 0: the whole file in one write
    unsigned fw_diag_interval_ms = 0;
    bool fw_diag_eof = false; // close the stream after the file
    SimConfig sim;
    // Text for refuse_at_close (the config points into it).
    std::string refused[MAX_REFUSED_WORDS];
};

enum ParseResult { PARSE_OK = 0, PARSE_HELP = 1, PARSE_ERROR = 2 };

// Parses argv into opts; prints the reason for an error on stderr.
int options_parse(Options &opts, int argc, char **argv);
void options_usage(const char *argv0);

} // namespace fakeath
