// SPDX-License-Identifier: MIT
// A name server that answers only when the test says so, preloaded into the
// program under test: getaddrinfo of a name ending in ".gate.test" waits
// until the file named by WD_RESOLVE_GATE exists (at most a minute), then
// answers for 127.0.0.1. Every other name goes to the real resolver.
#include <cstdlib>
#include <dlfcn.h>
#include <netdb.h>
#include <string_view>
#include <unistd.h>

extern "C" int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                           struct addrinfo **res)
{
    using Real = int (*)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (node != nullptr && std::string_view(node).ends_with(".gate.test")) {
        const char *gate = getenv("WD_RESOLVE_GATE");
        for (int i = 0; gate != nullptr && i < 6000 && access(gate, F_OK) != 0; i++)
            usleep(10000);
        node = "127.0.0.1";
    }
    return real(node, service, hints, res);
}
