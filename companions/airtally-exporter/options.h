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
    bool help = false;
};

constexpr int EXIT_USAGE = 2;

// 0: go on (or print the usage when help is set); otherwise the exit status,
// with message saying why.
int options_parse(int argc, char **argv, ExporterOptions &o, std::string &message);
std::string usage_text(const char *prog);

} // namespace airtally_exporter
