// SPDX-License-Identifier: MIT
// Expected datagram images, written byte by byte at the offsets ifward
// reads, independently of the tool's own records.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace ifwtest
{

using Bytes = std::vector<uint8_t>;
using Mac = std::array<uint8_t, 6>;

inline void put_i32(Bytes &b, std::size_t off, int32_t v)
{
    std::memcpy(&b[off], &v, 4);
}

inline void put_name(Bytes &b, std::size_t off, std::string_view name)
{
    std::memcpy(&b[off], name.data(), std::min<std::size_t>(name.size(), 15));
}

inline Bytes event_bytes(int32_t code, int32_t ifindex, std::string_view name)
{
    Bytes b(56, 0);
    put_i32(b, 0, code);
    put_i32(b, 4, ifindex);
    put_name(b, 8, name);
    return b;
}

inline Bytes with_mac(Bytes b, const Mac &mac)
{
    std::copy(mac.begin(), mac.end(), b.begin() + 24);
    b[30] = 6;
    return b;
}

// addr holds 4 bytes for IPv4 (family 2) or 16 for IPv6 (family 10).
inline Bytes with_address(Bytes b, uint8_t family, uint8_t prefix, const Bytes &addr)
{
    b[24] = family;
    b[25] = prefix;
    std::copy(addr.begin(), addr.end(), b.begin() + 28);
    return b;
}

struct StateFields {
    int32_t ifindex = 0;
    std::string_view name;
    uint8_t exists = 1, enabled = 0, carrier = 0, dormant = 0, lldown = 0;
    Mac mac{};
    std::array<uint8_t, 4> ipv4{};
    uint8_t ipv4_prefix = 0;
    std::array<uint8_t, 16> ipv6{};
    uint8_t ipv6_prefix = 0;
};

inline Bytes state_bytes(const StateFields &f)
{
    Bytes b(60, 0);
    put_i32(b, 0, f.ifindex);
    put_name(b, 4, f.name);
    b[20] = f.exists;
    b[21] = f.enabled;
    b[22] = f.carrier;
    b[23] = f.dormant;
    b[24] = f.lldown;
    std::copy(f.mac.begin(), f.mac.end(), b.begin() + 25);
    std::copy(f.ipv4.begin(), f.ipv4.end(), b.begin() + 32);
    b[36] = f.ipv4_prefix;
    std::copy(f.ipv6.begin(), f.ipv6.end(), b.begin() + 40);
    b[56] = f.ipv6_prefix;
    return b;
}

inline Bytes closing_bytes()
{
    return Bytes(60, 0);
}

} // namespace ifwtest
