// SPDX-License-Identifier: MIT
// One option processor for the companions: each program describes its
// options once, in a table, and the same table drives getopt_long, the
// checking of numbers and the usage text, so none of them can drift.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

enum class CliArg {
    None,    // a flag
    Text,    // any text, the handler checks it
    Whole,   // a whole number in [min, max], the whole text
    Decimal, // a number in [min, max], the whole text
};

struct CliOption {
    const char *name; // the long name, without "--"
    int key;          // the short letter, or a code above 255 for long-only
    CliArg arg;
    const char *value; // the value's name in the usage text; nullptr for a flag
    // Continues at the help column after each '\n'; a leading '\n' puts it
    // under an option too long for the column.
    const char *help;
    double min = 0, max = 0;
    const char *unit = ""; // after the range in the refusal: " seconds"
};

// The handler gets text as given (nullptr for a flag) and number checked and
// converted for Whole and Decimal; false refuses with error set.
using CliTake = bool (*)(void *target, int key, const char *text, double number,
                         std::string &error);

struct CliProgram {
    const char *name;     // as --version and --help's first line say it, whatever argv[0] is
    const char *about;    // what the program does, in a few words, after the version in --help
    const char *synopsis; // after "Usage: PROG", up to the options
    std::span<const CliOption> parts[6]; // in usage order; the unused ones empty
    const char *tail;                    // after the options
    int column;                          // width of the option column
    bool letter_slot;                    // "    --name" aligned under "-x, --name"
};

// --help and --version, taken by the processor itself (by their long names,
// so a program may word them in its own style).
inline constexpr CliOption CLI_HELP[] = {{"help", 'h', CliArg::None, nullptr, "this text"}};
inline constexpr CliOption CLI_VERSION[] = {
    {"version", 'V', CliArg::None, nullptr, "the version built"}};

// rfwatchd's socket, as the programs that default to it take it.
inline constexpr CliOption CLI_RFWATCHD_SOCKET[] = {
    {"socket", 's', CliArg::Text, "PATH", "rfwatchd's socket (default: rfwatchd.sock)"}};

enum class CliResult { Run, Help, Version, Usage };

// Usage: error says why (without the program's name).
CliResult cli_parse(const CliProgram &p, int argc, char *const *argv, CliTake take, void *target,
                    std::string &error);

// As cli_parse, for a program that also takes up to max_operands words that
// are not options (anywhere on the line, as getopt_long permutes them):
// they land in operands, in order; one more is refused.
CliResult cli_parse_operands(const CliProgram &p, int argc, char *const *argv, CliTake take,
                             void *target, size_t max_operands, std::vector<std::string> &operands,
                             std::string &error);

std::string cli_usage(const CliProgram &p, const char *prog);

// "NAME VERSION - about", then the usage.
std::string cli_help(const CliProgram &p, const char *prog);

// "NAME VERSION", then "commit abc1234" (with "-dirty" for a modified tree,
// "unknown" when not built from a git checkout).
std::string cli_version(const CliProgram &p);

// What a program does with the result: cli_help on stdout for Help and
// cli_version for Version (exit 0), "PROG: error" and the usage on stderr
// for Usage (exit usage_status); -1 for Run.
int cli_finish(const CliProgram &p, CliResult r, const char *prog, const std::string &error,
               int usage_status);
