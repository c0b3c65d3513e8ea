// Where an HTTP companion listens and who may ask it: --listen,
// --token-file, --no-auth and --allow-host, taken and checked alike by every
// HTTP companion so that none is left open to the network by mistake.
#pragma once

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

// getopt_long's codes for the two long options; a program's own long
// options start at ACCESS_OPT_END.
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

// c and arg as getopt_long gives them ('l' is --listen).
AccessTake access_option(HttpAccess &a, int c, const char *arg, const char *prog,
                         std::string &message);

// --token-file and --no-auth together; false with message set.
bool access_choice_ok(const HttpAccess &a, const char *prog, std::string &message);

// Beyond loopback a token or --no-auth is needed; token_use says in the
// message what the token file holds for this program. false with message set.
bool access_exposure_ok(const HttpAccess &a, const char *prog, const char *token_use,
                        std::string &message);
