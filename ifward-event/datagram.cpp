// SPDX-License-Identifier: MIT
#include "datagram.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sys/socket.h>

namespace
{

// Indexed by the code; the codes between the three groups have no name.
constexpr auto event_names = [] {
    std::array<const char *, EV_ADDR_REMOVE + 1> t{};
    t[EV_IF_CREATE] = "IF_CREATE";
    t[EV_IF_DESTROY] = "IF_DESTROY";
    t[EV_IF_UP] = "IF_UP";
    t[EV_IF_DOWN] = "IF_DOWN";
    t[EV_IF_MAC] = "IF_MAC";
    t[EV_LINK_UP] = "LINK_UP";
    t[EV_LINK_DOWN] = "LINK_DOWN";
    t[EV_LINK_DORMANT] = "LINK_DORMANT";
    t[EV_LINK_LOWERLAYER_DOWN] = "LINK_LOWERLAYER_DOWN";
    t[EV_ADDR_ASSIGN] = "ADDR_ASSIGN";
    t[EV_ADDR_REMOVE] = "ADDR_REMOVE";
    return t;
}();
// All eleven codes named, none over another (the last code is the highest).
static_assert(event_names.size() - std::ranges::count(event_names, nullptr) == 11);

// The daemon tells the two address kinds apart by these exact values.
static_assert(AF_INET == 2 && AF_INET6 == 10);

} // namespace

const char *event_name(int32_t code)
{
    if (code < 0 || static_cast<std::size_t>(code) >= event_names.size() || !event_names[code])
        return "UNKNOWN";
    return event_names[code];
}

void datagram_copy_name(char (&field)[IFWARD_NAME_SIZE], const char *name)
{
    std::memset(field, 0, sizeof(field));
    std::memcpy(field, name, strnlen(name, IFWARD_NAME_MAX));
}

void event_set_mac(EventDatagram *d, const uint8_t (&mac)[MAC_LEN])
{
    MacPayload p{};
    std::memcpy(p.mac, mac, MAC_LEN);
    p.mac_len = MAC_LEN;
    std::memcpy(d->payload, &p, sizeof(p));
}

void event_set_address(EventDatagram *d, uint8_t family, uint8_t prefix_len,
                       const uint8_t (&addr)[16])
{
    AddressPayload p{};
    p.family = family;
    p.prefix_len = prefix_len;
    std::memcpy(p.addr, addr, sizeof(p.addr));
    std::memcpy(d->payload, &p, sizeof(p));
}
