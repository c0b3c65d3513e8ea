// airtally-exporter's command line.
#pragma once

#include "access_options.h"

#include <string>

namespace airtally_exporter
{

// Not given to another exporter as far as we know; the README says how it
// was chosen.
constexpr int DEFAULT_PORT = 9749;

struct ExporterOptions {
    HttpAccess access = access_defaults(DEFAULT_PORT);
};

constexpr int EXIT_USAGE = 2;

CliResult options_parse(int argc, char **argv, ExporterOptions &o, std::string &message);
extern const CliProgram EXPORTER_CLI;

} // namespace airtally_exporter
