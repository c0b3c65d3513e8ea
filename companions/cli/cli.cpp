#include "cli.h"

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

} // namespace

CliResult cli_parse(const CliProgram &p, int argc, char *const *argv, CliTake take, void *target,
                    std::string &error)
{
    option longs[ROWS_MAX + 1] = {};
    std::string letters = ":"; // a missing value is told apart from an unknown option
    size_t n = 0;
    for (const auto &part : p.parts)
        for (const CliOption &o : part) {
            if (n == ROWS_MAX) {
                error = "too many options in the table";
                return CliResult::Usage;
            }
            const int has = o.arg == CliArg::None ? no_argument : required_argument;
            longs[n++] = {o.name, has, nullptr, o.key};
            if (o.key < 256)
                letters += std::string(1, static_cast<char>(o.key)) + (has ? ":" : "");
        }
    optind = 0; // a fresh scan each call (tests parse many command lines)
    opterr = 0; // the refusal below says it once
    for (int c; (c = getopt_long(argc, argv, letters.c_str(), longs, nullptr)) != -1;) {
        const CliOption *o = find(p, c);
        if (o == nullptr) {
            // ':' a value missing, '?' an option unknown, or a flag given one.
            const char *word = argv[optind - 1];
            const bool is_long = strncmp(word, "--", 2) == 0;
            const CliOption *known = find(p, optopt);
            if (c == ':' && known != nullptr)
                error = "--" + std::string(known->name) + " needs " + known->value;
            else if (is_long && known != nullptr && optopt != 0)
                error = "--" + std::string(known->name) + " takes no value";
            else
                error =
                    "unknown option " + (is_long ? std::string(word, strcspn(word, "="))
                                                 : std::string("-") + static_cast<char>(optopt));
            return CliResult::Usage;
        }
        if (strcmp(o->name, "help") == 0) // CLI_HELP, or a program's own wording of it
            return CliResult::Help;
        double v = 0;
        if ((o->arg == CliArg::Whole || o->arg == CliArg::Decimal) && !number(*o, optarg, v)) {
            error = "--" + std::string(o->name) + " takes " + bound(*o, o->min) + " to " +
                    bound(*o, o->max) + o->unit + ", not " + optarg;
            return CliResult::Usage;
        }
        if (!take(target, c, optarg, v, error))
            return CliResult::Usage;
    }
    if (optind < argc) {
        error = std::string("unexpected argument ") + argv[optind];
        return CliResult::Usage;
    }
    return CliResult::Run;
}

std::string cli_usage(const CliProgram &p, const char *prog)
{
    const std::string indent = "\n" + std::string(static_cast<size_t>(p.column) + 3, ' ');
    std::string text = std::string("Usage: ") + prog + p.synopsis;
    for (const auto &part : p.parts)
        for (const CliOption &o : part) {
            std::string left = o.key < 256     ? std::string("-") + static_cast<char>(o.key) + ", "
                               : p.letter_slot ? "    "
                                               : "";
            left += std::string("--") + o.name + (o.value ? std::string(" ") + o.value : "");
            const size_t width = left.size();
            text += "  " + left;
            // Past the column: two spaces, or the help on the lines below.
            if (o.help[0] != '\n')
                text += std::string(width > static_cast<size_t>(p.column)
                                        ? 2
                                        : static_cast<size_t>(p.column) + 1 - width,
                                    ' ');
            for (const char *c = o.help; *c != '\0'; c++)
                text += *c == '\n' ? indent : std::string(1, *c);
            text += '\n';
        }
    return text + p.tail;
}

int cli_finish(const CliProgram &p, CliResult r, const char *prog, const std::string &error,
               int usage_status)
{
    if (r == CliResult::Help) {
        fputs(cli_usage(p, prog).c_str(), stdout);
        return 0;
    }
    if (r == CliResult::Usage) {
        fprintf(stderr, "%s: %s\n%s", prog, error.c_str(), cli_usage(p, prog).c_str());
        return usage_status;
    }
    return -1;
}
