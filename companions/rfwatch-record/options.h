// SPDX-License-Identifier: MIT
// rfwatch-record's command line: one table of options for its four modes
// (a file, the flight recorder, a radio of the fleet from MQTT, export),
// and the rules for which of them go together.
#pragma once

#include "broker_url.h"
#include "cli.h"
#include "export.h"

#include <cstdint>
#include <string>

enum class RecordMode {
    File,   // every line into one recording (rotated at max_size)
    Ring,   // the flight recorder: event files in a folder
    Export, // a recording turned into CSV or SigMF
};

struct RecordOptions {
    RecordMode mode = RecordMode::File;
    std::string socket_path; // empty with --mqtt
    std::string output;      // FILE, or DIR with --ring
    int period_ms = 0;       // 0: leave rfwatchd's aggregation alone
    bool air = false;
    int air_period_ms = 0;  // set with air
    int64_t duration_s = 0; // 0: until a signal
    uint64_t max_size = 0;  // the file's (or the ring's) bound in bytes
    std::string radio;      // for the header
    std::string driver;     // "" : learnt from the first line
    int ring_s = 0;         // with RecordMode::Ring
    int below = -1;         // -1: no quality trigger
    std::string mqtt_url;   // empty: read rfwatchd's socket
    BrokerUrl broker;       // parsed mqtt_url
    std::string topic;      // P/NODE/RADIO
    std::string password_file;
    std::string cafile;
    ExportKind export_kind = ExportKind::Csv;
    std::string export_in, export_out;
};

constexpr uint64_t MAX_SIZE_FILE_DEFAULT = 64ULL << 20;
constexpr uint64_t MAX_SIZE_RING_DEFAULT = 16ULL << 20;
// The smallest bound: a fresh file must hold its header and the longest
// record, or rotating would never make room.
constexpr uint64_t MAX_SIZE_MIN = 128ULL << 10;
constexpr int AIR_PERIOD_DEFAULT_MS = 1000;

// Fills o from argv (defaults applied); Usage: error holds one line.
CliResult parse_options(int argc, char *const *argv, RecordOptions &o, std::string &error);
extern const CliProgram RECORD_CLI;
