// SPDX-License-Identifier: MIT
#include "decode.h"

#include "datagram.h"

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>

namespace
{

// Appends to a fixed buffer, always NUL-terminated, never past its end.
struct LineBuf {
    char *p;
    std::size_t cap;
    std::size_t len = 0;
};

void put(LineBuf *b, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void put(LineBuf *b, const char *fmt, ...)
{
    if (b->len + 1 >= b->cap)
        return;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(b->p + b->len, b->cap - b->len, fmt, ap);
    va_end(ap);
    if (n > 0)
        b->len = std::min(b->cap - 1, b->len + static_cast<std::size_t>(n));
}

// Names may hold any byte: escape what would break the one-line output.
void put_name(LineBuf *b, const char (&name)[IFWARD_NAME_SIZE])
{
    for (std::size_t i = 0; i < IFWARD_NAME_SIZE && name[i]; ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c > ' ' && c < 0x7f && c != '\\')
            put(b, "%c", c);
        else
            put(b, "\\x%02x", c);
    }
}

void put_mac(LineBuf *b, const uint8_t *m)
{
    put(b, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
}

void put_address(LineBuf *b, int family, const uint8_t *addr, unsigned prefix)
{
    char text[INET6_ADDRSTRLEN] = "?";
    inet_ntop(family, addr, text, sizeof(text));
    put(b, "%s/%u", text, prefix);
}

bool all_zero(const uint8_t *p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

// Bytes after the NUL that ends a name must be zero as well.
bool name_padded(const char (&name)[IFWARD_NAME_SIZE])
{
    std::size_t len = strnlen(name, IFWARD_NAME_SIZE);
    return len < IFWARD_NAME_SIZE &&
           all_zero(reinterpret_cast<const uint8_t *>(name) + len, IFWARD_NAME_SIZE - len);
}

void decode_event(LineBuf *b, const EventDatagram &d)
{
    put(b, "event %s(%d) ifindex=%d ifname=", event_name(d.event), d.event, d.ifindex);
    put_name(b, d.ifname);
    bool clean = name_padded(d.ifname);
    MacPayload mac;
    AddressPayload addr;
    std::memcpy(&mac, d.payload, sizeof(mac));
    std::memcpy(&addr, d.payload, sizeof(addr));
    bool mac_event = d.event == EV_IF_CREATE || d.event == EV_IF_MAC;
    bool addr_event = d.event == EV_ADDR_ASSIGN || d.event == EV_ADDR_REMOVE;
    if (all_zero(d.payload, sizeof(d.payload))) {
        // no payload
    } else if (mac_event && mac.mac_len == MAC_LEN) {
        put(b, " mac=");
        put_mac(b, mac.mac);
        clean = clean && all_zero(mac.zero, sizeof(mac.zero));
    } else if (addr_event && (addr.family == AF_INET || addr.family == AF_INET6)) {
        put(b, " addr=");
        put_address(b, addr.family, addr.addr, addr.prefix_len);
        std::size_t used = addr.family == AF_INET ? 4 : 16;
        clean = clean && all_zero(addr.zero0, sizeof(addr.zero0)) &&
                all_zero(addr.addr + used, sizeof(addr.addr) - used) &&
                all_zero(addr.zero1, sizeof(addr.zero1));
    } else {
        put(b, " payload=");
        for (uint8_t c : d.payload)
            put(b, "%02x", c);
        clean = false;
    }
    if (!clean)
        put(b, " nonzero-padding");
}

void decode_state(LineBuf *b, const StateDatagram &s)
{
    if (all_zero(reinterpret_cast<const uint8_t *>(&s), sizeof(s))) {
        put(b, "state closing");
        return;
    }
    put(b, "state ifindex=%d ifname=", s.ifindex);
    put_name(b, s.ifname);
    put(b, " exists=%u enabled=%u carrier=%u dormant=%u lldown=%u mac=", s.exists, s.enabled,
        s.carrier, s.dormant, s.lldown);
    put_mac(b, s.mac);
    put(b, " ipv4=");
    put_address(b, AF_INET, s.ipv4_addr, s.ipv4_prefix);
    put(b, " ipv6=");
    put_address(b, AF_INET6, s.ipv6_addr, s.ipv6_prefix);
    if (!name_padded(s.ifname) || s.zero0 || !all_zero(s.zero1, sizeof(s.zero1)) ||
        !all_zero(s.zero2, sizeof(s.zero2)))
        put(b, " nonzero-padding");
}

} // namespace

void decode_datagram(std::span<const uint8_t> bytes, char (&out)[DECODED_LINE_MAX])
{
    LineBuf b{out, sizeof(out)};
    out[0] = '\0';
    if (bytes.size() == sizeof(EventDatagram)) {
        EventDatagram d;
        std::memcpy(&d, bytes.data(), sizeof(d));
        decode_event(&b, d);
    } else if (bytes.size() == sizeof(StateDatagram)) {
        StateDatagram s;
        std::memcpy(&s, bytes.data(), sizeof(s));
        decode_state(&b, s);
    } else {
        put(&b, "unknown length=%zu", bytes.size());
    }
}

void hex_dump(std::span<const uint8_t> bytes, char *out, std::size_t cap)
{
    LineBuf b{out, cap};
    if (cap)
        out[0] = '\0';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0)
            put(&b, "%s  %04zx:", i ? "\n" : "", i);
        put(&b, " %02x", bytes[i]);
    }
}
