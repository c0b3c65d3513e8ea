// SPDX-License-Identifier: MIT
// Control-socket replies of hostapd (GET_CONFIG) and wpa_supplicant (STATUS,
// MIB): any bytes received into the library's page-sized buffer, as both
// kinds of reply. Only the four security members change, wpa holds only the
// two version bits, and the suites are 0 or a selector of their table.
#include "ctrl_reply.h"
#include "fuzz_check.h"

#include <cstring>
#include <unistd.h>
#include <vector>

using namespace airtally;

namespace
{

constexpr uint32_t AKMS[] = {0x000FAC01, 0x000FAC02, 0x000FAC03, 0x000FAC04, 0x000FAC05,
                             0x000FAC06, 0x000FAC08, 0x000FAC09, 0x000FAC0B, 0x000FAC0C,
                             0x000FAC0D, 0x000FAC0E, 0x000FAC0F, 0x000FAC10, 0x000FAC11,
                             0x000FAC12, 0x000FAC17, 0x000FAC18, 0x000FAC19};
constexpr uint32_t CIPHERS[] = {0x000FAC04, 0x000FAC02, 0x000FAC0A, 0x000FAC08,
                                0x000FAC09, 0x000FAC01, 0x000FAC05};

template <size_t N> bool zero_or_one_of(uint32_t v, const uint32_t (&table)[N])
{
    if (v == 0)
        return true;
    for (uint32_t t : table)
        if (v == t)
            return true;
    return false;
}

void check_parsed(void (*parse)(vap_stat *, char *), const uint8_t *data, size_t n)
{
    static std::vector<char> reply(static_cast<size_t>(getpagesize()));
    memcpy(reply.data(), data, n);
    reply[n] = '\0';

    vap_stat vap;
    memset(&vap, 0x5a, sizeof vap);
    vap.wpa = 0;
    vap.key_mgmt = vap.pairwise_cipher = vap.group_cipher = 0;
    vap_stat before = vap;
    parse(&vap, reply.data());

    FUZZ_CHECK((vap.wpa & ~(AIRTALLY_WPA_WPA1 | AIRTALLY_WPA_RSN)) == 0);
    FUZZ_CHECK(zero_or_one_of(vap.key_mgmt, AKMS));
    FUZZ_CHECK(zero_or_one_of(vap.pairwise_cipher, CIPHERS));
    FUZZ_CHECK(zero_or_one_of(vap.group_cipher, CIPHERS));
    vap.wpa = vap.key_mgmt = vap.pairwise_cipher = vap.group_cipher = 0;
    FUZZ_CHECK(memcmp(&vap, &before, sizeof vap) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One datagram: at most a page less the terminator.
    size_t n = size < static_cast<size_t>(getpagesize()) ? size : getpagesize() - 1;
    check_parsed(parse_ap_reply, data, n);
    check_parsed(parse_sta_reply, data, n);
    return 0;
}
