// SPDX-License-Identifier: MIT
// airtally-exporter's command line.
#pragma once

#include "access_options.h"
#include "air_radios.h"

#include <string>
#include <vector>

namespace airtally_exporter
{

// Not given to another exporter as far as we know; doc/prometheus.md says how it
// was chosen.
constexpr int DEFAULT_PORT = 9749;

constexpr int AIR_PERIOD_DEFAULT_MS = 1000;
constexpr int AIR_PERIOD_MIN_MS = 100;
constexpr int AIR_PERIOD_MAX_MS = 60000;
// Each daemon is a connection and its lines a few kilobytes of memory.
constexpr size_t AIR_SOURCES_MAX = 16;

struct ExporterOptions {
    HttpAccess access = access_defaults(DEFAULT_PORT);
    std::vector<AirSource> daemons; // --rfwatchd, in the order given
    int air_period_ms = AIR_PERIOD_DEFAULT_MS;
};

constexpr int EXIT_USAGE = 2;

CliResult options_parse(int argc, char **argv, ExporterOptions &o, std::string &message);
extern const CliProgram EXPORTER_CLI;

} // namespace airtally_exporter
