#include "datagram.h"

#include <cstring>
#include <sys/socket.h>

namespace
{

struct EventNameEntry {
    int32_t code;
    const char *name;
};

constexpr EventNameEntry event_names[] = {
    {EV_IF_CREATE, "IF_CREATE"},
    {EV_IF_DESTROY, "IF_DESTROY"},
    {EV_IF_UP, "IF_UP"},
    {EV_IF_DOWN, "IF_DOWN"},
    {EV_IF_MAC, "IF_MAC"},
    {EV_LINK_UP, "LINK_UP"},
    {EV_LINK_DOWN, "LINK_DOWN"},
    {EV_LINK_DORMANT, "LINK_DORMANT"},
    {EV_LINK_LOWERLAYER_DOWN, "LINK_LOWERLAYER_DOWN"},
    {EV_ADDR_ASSIGN, "ADDR_ASSIGN"},
    {EV_ADDR_REMOVE, "ADDR_REMOVE"},
};

// The daemon tells the two address kinds apart by these exact values.
static_assert(AF_INET == 2 && AF_INET6 == 10);

} // namespace

const char *event_name(int32_t code)
{
    for (const auto &e : event_names)
        if (e.code == code)
            return e.name;
    return "UNKNOWN";
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
