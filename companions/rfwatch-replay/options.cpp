// SPDX-License-Identifier: MIT
#include "options.h"

#include <vector>

namespace
{

enum Key { OPT_SPEED = 256, OPT_LOOP };

constexpr CliOption ROWS[] = {
    {"socket", 's', CliArg::Text, "PATH",
     "the socket to serve on, in rfwatchd's place\n(default: rfwatchd.sock)"},
    {"speed", OPT_SPEED, CliArg::Decimal, "X",
     "serve X times as fast as recorded (0.01 to 1000, default 1)", 0.01, 1000},
    {"loop", OPT_LOOP, CliArg::None, nullptr, "start again at the end, until stopped"},
};

bool take(void *target, int key, const char *text, double number, std::string & /*error*/)
{
    ReplayOptions &o = *static_cast<ReplayOptions *>(target);
    switch (key) {
    case 's':
        o.socket_path = text;
        break;
    case OPT_SPEED:
        o.speed = number;
        break;
    default: // OPT_LOOP
        o.loop = true;
        break;
    }
    return true;
}

} // namespace

const CliProgram REPLAY_CLI = {
    "rfwatch-replay",
    "serve a recording of rfwatchd's stream as rfwatchd would",
    " FILE [OPTIONS]\n"
    "Serves a recording made by rfwatch-record (or rfwatch-web's page) on a Unix\n"
    "socket as rfwatchd would: every client gets the recorded lines at the recorded\n"
    "pace, from where the replay is when it connects (the replay begins with the\n"
    "first client); air lines only to the clients that ask for them (command 4).\n"
    "\n",
    {ROWS, CLI_HELP, CLI_VERSION},
    "\nAt the end of the recording (without --loop) the clients are closed and it\n"
    "exits 0. SIGINT and SIGTERM stop it and remove the socket.\n",
    24,
    true,
};

CliResult replay_options_parse(int argc, char *const *argv, ReplayOptions &o, std::string &error)
{
    std::vector<std::string> operands;
    const CliResult r = cli_parse_operands(REPLAY_CLI, argc, argv, take, &o, 1, operands, error);
    if (r != CliResult::Run)
        return r;
    if (operands.empty()) {
        error = "no recording given";
        return CliResult::Usage;
    }
    o.file = operands[0];
    return r;
}
