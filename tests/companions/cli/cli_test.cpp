// SPDX-License-Identifier: MIT
// The option processor: what reaches a program's handler, the refusals, and
// the usage text laid out from the same table.
#include "cli.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace
{

constexpr CliOption ROWS[] = {
    {"socket", 's', CliArg::Text, "PATH", "its socket\nsecond line"},
    {"count", 'c', CliArg::Whole, "N", "a count", 1, 60000},
    {"time", 300, CliArg::Decimal, "SECS", "\nunder the option", 0, 2.5, " seconds"},
    {"flag", 301, CliArg::None, nullptr, "a flag"},
    {"a-very-long-name", 302, CliArg::Text, "VALUE", "past the column"},
};
const CliProgram PROGRAM = {
    "prog", "does things", " [OPTIONS]\n", {ROWS, CLI_HELP, CLI_VERSION}, "end\n", 20, true};

// "key=text|number" for each option taken, in order.
bool record(void *target, int key, const char *text, double number, std::string &error)
{
    if (text != nullptr && std::string(text) == "refuse") {
        error = "refused by the program";
        return false;
    }
    static_cast<std::vector<std::string> *>(target)->push_back(
        std::to_string(key) + "=" + (text ? text : "") + "|" + std::to_string(number));
    return true;
}

} // namespace

TEST(Cli, ParsesFromTheTableAndRefusesWithOneWording)
{
    struct Case {
        std::vector<const char *> args;
        CliResult result;
        std::string said; // what was taken, or the refusal
    };
    const Case cases[] = {
        {{"-s", "x", "--count=7", "--time", "2.5", "--flag"},
         CliResult::Run,
         "115=x|0.000000 99=7|7.000000 300=2.5|2.500000 301=|0.000000 "},
        {{"--time", ".5"}, CliResult::Run, "300=.5|0.500000 "},
        {{"--count", "1e3"}, CliResult::Usage, "--count takes 1 to 60000, not 1e3"},
        {{"-c", "0"}, CliResult::Usage, "--count takes 1 to 60000, not 0"},
        {{"-c", "5x"}, CliResult::Usage, "--count takes 1 to 60000, not 5x"},
        {{"-c", ""}, CliResult::Usage, "--count takes 1 to 60000, not "},
        {{"--time", "nan"}, CliResult::Usage, "--time takes 0 to 2.5 seconds, not nan"},
        {{"--time", "-1"}, CliResult::Usage, "--time takes 0 to 2.5 seconds, not -1"},
        {{"--bogus=1"}, CliResult::Usage, "unknown option --bogus"},
        {{"-z"}, CliResult::Usage, "unknown option -z"},
        {{"--flag", "-zc", "1"}, CliResult::Usage, "unknown option -z"},
        {{"--flag=yes"}, CliResult::Usage, "--flag takes no value"},
        {{"-s"}, CliResult::Usage, "--socket needs PATH"},
        {{"--time"}, CliResult::Usage, "--time needs SECS"},
        {{"-s", "refuse"}, CliResult::Usage, "refused by the program"},
        {{"-s", "x", "extra"}, CliResult::Usage, "unexpected argument extra"},
        {{"--flag", "-h", "--bogus"}, CliResult::Help, "301=|0.000000 "},
        {{"--flag", "-V", "--bogus"}, CliResult::Version, "301=|0.000000 "},
        {{"--version", "-h"}, CliResult::Version, ""},
        {{"--bogus", "--version"}, CliResult::Usage, "unknown option --bogus"},
    };
    for (const Case &c : cases) {
        std::vector<char *> argv = {const_cast<char *>("prog")};
        for (const char *a : c.args)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        std::vector<std::string> taken;
        std::string error;
        const CliResult r = cli_parse(PROGRAM, static_cast<int>(argv.size() - 1), argv.data(),
                                      record, &taken, error);
        std::string said;
        for (const std::string &t : taken)
            said += t + " ";
        EXPECT_EQ(r, c.result) << c.args[0];
        EXPECT_EQ(r == CliResult::Usage ? error : said, c.said) << c.args[0];
    }
}

TEST(Cli, UsageIsLaidOutFromTheTable)
{
    EXPECT_EQ(cli_usage(PROGRAM, "prog"), "Usage: prog [OPTIONS]\n"
                                          "  -s, --socket PATH    its socket\n"
                                          "                       second line\n"
                                          "  -c, --count N        a count\n"
                                          "      --time SECS\n"
                                          "                       under the option\n"
                                          "      --flag           a flag\n"
                                          "      --a-very-long-name VALUE  past the column\n"
                                          "  -h, --help           this text\n"
                                          "  -V, --version        the version built\n"
                                          "end\n");
}

// Both carry the project's version (the build's, not a copy in the code)
// under the table's name, whatever path the program was started by.
TEST(Cli, HelpAndVersionNameTheBuildsVersion)
{
    const std::string named = std::string("prog ") + WD_PROJECT_VERSION;
    EXPECT_EQ(cli_help(PROGRAM, "/usr/bin/prog"),
              named + " - does things\n" + cli_usage(PROGRAM, "/usr/bin/prog"));
    const std::string version = cli_version(PROGRAM);
    EXPECT_EQ(version.rfind(named + "\ncommit ", 0), 0u) << version;
    EXPECT_TRUE(std::regex_match(version.substr(named.size()),
                                 std::regex("\ncommit ([0-9a-f]{7,}(-dirty)?|unknown)\n")))
        << version;
}
