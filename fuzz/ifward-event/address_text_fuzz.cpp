// SPDX-License-Identifier: MIT
// MAC and address texts as the command line and state files give them. A
// text read as a MAC or an address reads back the same from its canonical
// form; a refused text leaves the output untouched; address texts longer
// than 255 characters are refused, never cut.
#include "address_text.h"
#include "fuzz_check.h"

#include <arpa/inet.h>
#include <cstring>
#include <string>
#include <sys/socket.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data),
                     strnlen(reinterpret_cast<const char *>(data), size));

    uint8_t mac[MAC_LEN];
    memset(mac, 0xa5, sizeof mac);
    if (parse_mac_text(text.c_str(), mac)) {
        char canonical[3 * MAC_LEN];
        snprintf(canonical, sizeof canonical, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1],
                 mac[2], mac[3], mac[4], mac[5]);
        uint8_t again[MAC_LEN];
        FUZZ_CHECK(parse_mac_text(canonical, again) && memcmp(again, mac, MAC_LEN) == 0);
    } else {
        for (uint8_t b : mac)
            FUZZ_CHECK(b == 0xa5);
    }

    ParsedAddress a;
    memset(&a, 0xa5, sizeof a);
    if (parse_address_text(text.c_str(), &a)) {
        FUZZ_CHECK(text.size() <= ADDRESS_TEXT_MAX);
        FUZZ_CHECK((a.family == AF_INET && a.prefix_len <= 32) ||
                   (a.family == AF_INET6 && a.prefix_len <= 128));
        char address[INET6_ADDRSTRLEN];
        FUZZ_CHECK(inet_ntop(a.family, a.addr, address, sizeof address) != nullptr);
        std::string canonical = std::string(address) + "/" + std::to_string(a.prefix_len);
        ParsedAddress b;
        FUZZ_CHECK(parse_address_text(canonical.c_str(), &b));
        FUZZ_CHECK(b.family == a.family && b.prefix_len == a.prefix_len);
        FUZZ_CHECK(memcmp(b.addr, a.addr, a.family == AF_INET ? 4 : 16) == 0);
    } else {
        const auto *bytes = reinterpret_cast<const uint8_t *>(&a);
        for (size_t i = 0; i < sizeof a; ++i)
            FUZZ_CHECK(bytes[i] == 0xa5);
    }
    return 0;
}
