// SPDX-License-Identifier: MIT
#include "access_options.h"

#include "host_check.h"
#include "listen_address.h"

HttpAccess access_defaults(int port)
{
    return HttpAccess{"127.0.0.1", port, {}, false, {}};
}

AccessTake access_option(HttpAccess &a, int key, const char *arg, std::string &message)
{
    switch (key) {
    case 'l':
        if (!parse_listen(arg, a.address, a.port)) {
            message = std::string("--listen takes [ADDR:]PORT, not ") + arg;
            return ACCESS_REFUSED;
        }
        return ACCESS_TAKEN;
    case ACCESS_OPT_TOKEN_FILE:
        a.token_file = arg;
        return ACCESS_TAKEN;
    case ACCESS_OPT_NO_AUTH:
        a.no_auth = true;
        return ACCESS_TAKEN;
    case ACCESS_OPT_ALLOW_HOST:
        if (!host_name_valid(arg)) {
            message = std::string("--allow-host takes a host name or address, with :PORT or "
                                  "without, not ") +
                      arg;
            return ACCESS_REFUSED;
        }
        if (a.allow_hosts.size() >= ACCESS_ALLOW_HOST_MAX) {
            message = "at most " + std::to_string(ACCESS_ALLOW_HOST_MAX) + " --allow-host names";
            return ACCESS_REFUSED;
        }
        a.allow_hosts.emplace_back(arg);
        return ACCESS_TAKEN;
    default:
        return ACCESS_OTHER;
    }
}

bool access_choice_ok(const HttpAccess &a, std::string &message)
{
    if (a.no_auth && !a.token_file.empty()) {
        message = "--token-file and --no-auth exclude each other";
        return false;
    }
    return true;
}

bool access_exposure_ok(const HttpAccess &a, const char *token_use, std::string &message)
{
    if (!is_loopback(a.address) && a.token_file.empty() && !a.no_auth) {
        message = "listening on " + a.address +
                  " reaches other machines: give --token-file FILE (" + token_use +
                  ") or --no-auth";
        return false;
    }
    return true;
}
