// airtally-exporter's command line.
#pragma once

#include <string>

namespace airtally_exporter
{

// Not given to another exporter as far as we know; the README says how it
// was chosen.
constexpr int DEFAULT_PORT = 9749;

struct ExporterOptions {
    std::string address = "127.0.0.1";
    int port = DEFAULT_PORT;
    std::string token_file; // empty: none given
    bool no_auth = false;
    bool help = false;
};

constexpr int EXIT_USAGE = 2;

// 0: go on (or print the usage when help is set); otherwise the exit status,
// with message saying why.
int options_parse(int argc, char **argv, ExporterOptions &o, std::string &message);
std::string usage_text(const char *prog);

} // namespace airtally_exporter
