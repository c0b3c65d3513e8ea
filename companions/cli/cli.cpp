// SPDX-License-Identifier: MIT
#include "cli.h"
#include "cli_version.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

namespace
{

// More options than any companion has; the table is checked against it.
constexpr size_t ROWS_MAX = 32;

const CliOption *find(const CliProgram &p, int key)
{
    for (const auto &part : p.parts)
        for (const CliOption &o : part)
            if (o.key == key)
                return &o;
    return nullptr;
}

// The whole text, in range: "5x", "" and "1e3" for a whole number are
// refused rather than read as 5, 0 or 1.
bool number(const CliOption &o, const char *text, double &v)
{
    char *end = nullptr;
    errno = 0;
    v = o.arg == CliArg::Whole ? static_cast<double>(strtol(text, &end, 10)) : strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && v >= o.min && v <= o.max;
}

std::string bound(const CliOption &o, double v)
{
    char text[32];
    snprintf(text, sizeof text, o.arg == CliArg::Whole ? "%.0f" : "%g", v);
    return text;
}

// getopt_long's view of the table; false when the table outgrows it.
bool getopt_table(const CliProgram &p, option (&longs)[ROWS_MAX + 1], std::string &letters)
{
    letters = ":"; // a missing value is told apart from an unknown option
    size_t n = 0;
    for (const auto &part : p.parts)
        for (const CliOption &o : part) {
            if (n == ROWS_MAX)
                return false;
            const int has = o.arg == CliArg::None ? no_argument : required_argument;
            longs[n++] = {o.name, has, nullptr, o.key};
            if (o.key < 256)
                letters += std::string(1, static_cast<char>(o.key)) + (has ? ":" : "");
        }
    return true;
}

// getopt_long's ':' (a value missing) or '?' (an option unknown, or a flag
// given a value), said in words.
std::string refusal(const CliProgram &p, int c, const char *word)
{
    // optopt names the option for a short one and a long one with a value it
    // takes none of; word is the last one getopt_long finished, which for a
    // short option in the middle of "-zx" is the one before.
    const CliOption *known = find(p, optopt);
    const bool is_long =
        strncmp(word, "--", 2) == 0 &&
        (optopt == 0 ||
         (known != nullptr && strncmp(word + 2, known->name, strcspn(word + 2, "=")) == 0));
    if (c == ':' && known != nullptr)
        return "--" + std::string(known->name) + " needs " + known->value;
    if (is_long && known != nullptr)
        return "--" + std::string(known->name) + " takes no value";
    return "unknown option " + (is_long ? std::string(word, strcspn(word, "="))
                                        : std::string("-") + static_cast<char>(optopt));
}

// One option's lines: past the column two spaces, or the help on the lines
// below when it starts with a line feed.
std::string usage_row(const CliProgram &p, const CliOption &o)
{
    const auto column = static_cast<size_t>(p.column);
    std::string left = o.key < 256     ? std::string("-") + static_cast<char>(o.key) + ", "
                       : p.letter_slot ? "    "
                                       : "";
    left += std::string("--") + o.name + (o.value ? std::string(" ") + o.value : "");
    std::string text = "  " + left;
    if (o.help[0] != '\n')
        text += std::string(left.size() > column ? 2 : column + 1 - left.size(), ' ');
    for (const char *c = o.help; *c != '\0'; c++)
        text += *c == '\n' ? "\n" + std::string(column + 3, ' ') : std::string(1, *c);
    return text + "\n";
}

} // namespace

CliResult cli_parse(const CliProgram &p, int argc, char *const *argv, CliTake take, void *target,
                    std::string &error)
{
    std::vector<std::string> none;
    return cli_parse_operands(p, argc, argv, take, target, 0, none, error);
}

CliResult cli_parse_operands(const CliProgram &p, int argc, char *const *argv, CliTake take,
                             void *target, size_t max_operands, std::vector<std::string> &operands,
                             std::string &error)
{
    operands.clear();
    option longs[ROWS_MAX + 1] = {};
    std::string letters;
    if (!getopt_table(p, longs, letters)) {
        error = "too many options in the table";
        return CliResult::Usage;
    }
    optind = 0; // a fresh scan each call (tests parse many command lines)
    opterr = 0; // the refusal says it once
    for (int c; (c = getopt_long(argc, argv, letters.c_str(), longs, nullptr)) != -1;) {
        const CliOption *o = find(p, c);
        if (o == nullptr) {
            error = refusal(p, c, argv[optind - 1]);
            return CliResult::Usage;
        }
        // CLI_HELP and CLI_VERSION, or a program's own wording of them: at
        // once, whatever follows.
        if (strcmp(o->name, "help") == 0)
            return CliResult::Help;
        if (strcmp(o->name, "version") == 0)
            return CliResult::Version;
        double v = 0;
        if ((o->arg == CliArg::Whole || o->arg == CliArg::Decimal) && !number(*o, optarg, v)) {
            error = "--" + std::string(o->name) + " takes " + bound(*o, o->min) + " to " +
                    bound(*o, o->max) + o->unit + ", not " + optarg;
            return CliResult::Usage;
        }
        if (!take(target, c, optarg, v, error))
            return CliResult::Usage;
    }
    for (int i = optind; i < argc; i++) {
        if (operands.size() == max_operands) {
            error = std::string("unexpected argument ") + argv[i];
            return CliResult::Usage;
        }
        operands.emplace_back(argv[i]);
    }
    return CliResult::Run;
}

std::string cli_usage(const CliProgram &p, const char *prog)
{
    std::string text = std::string("Usage: ") + prog + p.synopsis;
    for (const auto &part : p.parts)
        for (const CliOption &o : part)
            text += usage_row(p, o);
    return text + p.tail;
}

std::string cli_help(const CliProgram &p, const char *prog)
{
    return std::string(p.name) + " " + companions_version + " - " + p.about + "\n" +
           cli_usage(p, prog);
}

std::string cli_version(const CliProgram &p)
{
    return std::string(p.name) + " " + companions_version + "\ncommit " + companions_commit +
           companions_commit_suffix + "\n";
}

int cli_finish(const CliProgram &p, CliResult r, const char *prog, const std::string &error,
               int usage_status)
{
    if (r == CliResult::Help || r == CliResult::Version) {
        // A text that did not reach its reader (a full disk, a closed pipe)
        // is not a success a script may rely on.
        const std::string text = r == CliResult::Help ? cli_help(p, prog) : cli_version(p);
        if (fputs(text.c_str(), stdout) < 0 || fflush(stdout) != 0) {
            fprintf(stderr, "%s: cannot write to standard output: %s\n", prog, strerror(errno));
            return 1;
        }
        return 0;
    }
    if (r == CliResult::Usage) {
        fprintf(stderr, "%s: %s\n%s", prog, error.c_str(), cli_usage(p, prog).c_str());
        return usage_status;
    }
    return -1;
}
