// SPDX-License-Identifier: MIT
// The two datagram layouts that ifward reads, and the event codes. The
// daemon reads these as raw memory images, so every offset is pinned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <net/if.h>
#include <span>
#include <type_traits>

// The kernel's limit, 15 characters and a NUL; the layouts below pin 16.
constexpr std::size_t IFWARD_NAME_SIZE = IFNAMSIZ;
static_assert(IFWARD_NAME_SIZE == 16);
constexpr std::size_t IFWARD_NAME_MAX = IFWARD_NAME_SIZE - 1;
constexpr std::size_t MAC_LEN = 6;

enum EventCode : int32_t {
    EV_IF_CREATE = 1,
    EV_IF_DESTROY = 2,
    EV_IF_UP = 3,
    EV_IF_DOWN = 4,
    EV_IF_MAC = 5,
    EV_LINK_UP = 0x11,
    EV_LINK_DOWN = 0x12,
    EV_LINK_DORMANT = 0x13,
    EV_LINK_LOWERLAYER_DOWN = 0x14,
    EV_ADDR_ASSIGN = 0x21,
    EV_ADDR_REMOVE = 0x22,
};

// Integers in host order, addresses in network order, every unnamed byte 0.
struct EventDatagram {
    int32_t event;
    int32_t ifindex;
    char ifname[IFWARD_NAME_SIZE];
    uint8_t payload[32];
};

struct MacPayload {
    uint8_t mac[MAC_LEN];
    uint8_t mac_len; // always 6
    uint8_t zero[25];
};

struct AddressPayload {
    uint8_t family; // AF_INET or AF_INET6
    uint8_t prefix_len;
    uint8_t zero0[2];
    uint8_t addr[16]; // IPv4 fills the first 4 bytes
    uint8_t zero1[12];
};

struct StateDatagram {
    int32_t ifindex;
    char ifname[IFWARD_NAME_SIZE];
    uint8_t exists;
    uint8_t enabled;
    uint8_t carrier;
    uint8_t dormant;
    uint8_t lldown;
    uint8_t mac[MAC_LEN];
    uint8_t zero0;
    uint8_t ipv4_addr[4];
    uint8_t ipv4_prefix;
    uint8_t zero1[3];
    uint8_t ipv6_addr[16];
    uint8_t ipv6_prefix;
    uint8_t zero2[3];
};

static_assert(sizeof(EventDatagram) == 56);
static_assert(offsetof(EventDatagram, event) == 0);
static_assert(offsetof(EventDatagram, ifindex) == 4);
static_assert(offsetof(EventDatagram, ifname) == 8);
static_assert(offsetof(EventDatagram, payload) == 24);
static_assert(sizeof(MacPayload) == 32 && sizeof(AddressPayload) == 32);
static_assert(offsetof(MacPayload, mac_len) == 6);
static_assert(offsetof(AddressPayload, prefix_len) == 1);
static_assert(offsetof(AddressPayload, addr) == 4);
static_assert(sizeof(StateDatagram) == 60);
static_assert(offsetof(StateDatagram, ifname) == 4);
static_assert(offsetof(StateDatagram, exists) == 20);
static_assert(offsetof(StateDatagram, enabled) == 21);
static_assert(offsetof(StateDatagram, carrier) == 22);
static_assert(offsetof(StateDatagram, dormant) == 23);
static_assert(offsetof(StateDatagram, lldown) == 24);
static_assert(offsetof(StateDatagram, mac) == 25);
static_assert(offsetof(StateDatagram, ipv4_addr) == 32);
static_assert(offsetof(StateDatagram, ipv4_prefix) == 36);
static_assert(offsetof(StateDatagram, ipv6_addr) == 40);
static_assert(offsetof(StateDatagram, ipv6_prefix) == 56);
// No hidden padding: the memory image is exactly the fields above.
static_assert(std::has_unique_object_representations_v<EventDatagram>);
static_assert(std::has_unique_object_representations_v<StateDatagram>);

// "UNKNOWN" for a code outside the table.
const char *event_name(int32_t code);

// Copies at most 15 characters of name, NUL-padding the rest of the field.
void datagram_copy_name(char (&field)[IFWARD_NAME_SIZE], const char *name);

void event_set_mac(EventDatagram *d, const uint8_t (&mac)[MAC_LEN]);
void event_set_address(EventDatagram *d, uint8_t family, uint8_t prefix_len,
                       const uint8_t (&addr)[16]);

inline std::span<const std::byte> datagram_bytes(const EventDatagram &d)
{
    return std::as_bytes(std::span(&d, 1));
}
inline std::span<const std::byte> datagram_bytes(const StateDatagram &d)
{
    return std::as_bytes(std::span(&d, 1));
}
