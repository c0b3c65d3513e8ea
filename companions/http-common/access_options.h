// SPDX-License-Identifier: MIT
// Where an HTTP companion listens and who may ask it: --listen,
// --token-file, --no-auth and --allow-host, taken and checked alike by every
// HTTP companion so that none is left open to the network by mistake.
#pragma once

#include "cli.h"

#include <string>
#include <vector>

// More names than anyone types on a command line is a mistake.
constexpr size_t ACCESS_ALLOW_HOST_MAX = 16;

struct HttpAccess {
    std::string address;
    int port;
    std::string token_file; // empty: none given
    bool no_auth;
    std::vector<std::string> allow_hosts; // --allow-host NAME[:PORT], as given
};

// Loopback on the program's own port, no token file: where each starts.
HttpAccess access_defaults(int port);

// The keys of the long-only options; a program's own long options start at
// ACCESS_OPT_END.
enum AccessOption {
    ACCESS_OPT_TOKEN_FILE = 256,
    ACCESS_OPT_NO_AUTH,
    ACCESS_OPT_ALLOW_HOST,
    ACCESS_OPT_END
};

enum AccessTake {
    ACCESS_OTHER,   // not an access option: the program's own
    ACCESS_TAKEN,   // stored in the record
    ACCESS_REFUSED, // a bad --listen or --allow-host: message says why
};

// The rows worded alike in every HTTP companion. Each program writes its own
// --listen ('l') and --token-file (ACCESS_OPT_TOKEN_FILE) rows: their help
// names its port and what its token is for.
inline constexpr CliOption ACCESS_OPTIONS[] = {
    {"no-auth", ACCESS_OPT_NO_AUTH, CliArg::None, nullptr, "serve beyond loopback without a token"},
    {"allow-host", ACCESS_OPT_ALLOW_HOST, CliArg::Text, "NAME[:PORT]",
     "answer requests for NAME too (repeatable); by\n"
     "default only the listen address and localhost,\n"
     "with the port listened on, are answered"},
};

// key and arg as the option processor gives them.
AccessTake access_option(HttpAccess &a, int key, const char *arg, std::string &message);

// --token-file and --no-auth together; false with message set.
bool access_choice_ok(const HttpAccess &a, std::string &message);

// Beyond loopback a token or --no-auth is needed; token_use says in the
// message what the token file holds for this program. false with message set.
bool access_exposure_ok(const HttpAccess &a, const char *token_use, std::string &message);
