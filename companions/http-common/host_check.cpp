// SPDX-License-Identifier: MIT
#include "host_check.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstring>

namespace
{

struct HostPort {
    std::string_view name; // without brackets
    int port;              // -1: none given
    bool literal_v6;
};

bool name_char(char c)
{
    return isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
}

bool parse_port(std::string_view s, int &port)
{
    if (s.empty() || s.size() > 5 ||
        !std::ranges::all_of(s, [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    port = 0;
    for (const char c : s)
        port = port * 10 + (c - '0');
    return port > 0 && port <= 65535;
}

bool split(std::string_view s, HostPort &out)
{
    out = {{}, -1, false};
    std::string_view rest;
    if (!s.empty() && s.front() == '[') {
        const size_t close = s.find(']');
        if (close == std::string_view::npos)
            return false;
        out.name = s.substr(1, close - 1);
        out.literal_v6 = true;
        rest = s.substr(close + 1);
        if (out.name.empty() || !std::ranges::all_of(out.name, [](char c) {
                return isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
            }))
            return false;
    } else {
        const size_t colon = s.find(':');
        out.name = s.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : s.substr(colon);
        if (out.name.empty() || !std::ranges::all_of(out.name, name_char))
            return false;
    }
    if (rest.empty())
        return true;
    return rest.front() == ':' && parse_port(rest.substr(1), out.port);
}

// The 16 bytes of an address literal (IPv4 mapped into IPv6's form);
// false for a name.
bool address_of(std::string_view text, in6_addr &a)
{
    const std::string s(text);
    in_addr v4{};
    if (inet_pton(AF_INET, s.c_str(), &v4) == 1) {
        a = in6_addr{};
        a.s6_addr[10] = 0xff;
        a.s6_addr[11] = 0xff;
        memcpy(&a.s6_addr[12], &v4, 4);
        return true;
    }
    return inet_pton(AF_INET6, s.c_str(), &a) == 1;
}

bool same_name(std::string_view a, std::string_view b)
{
    in6_addr x{}, y{};
    if (address_of(a, x) && address_of(b, y))
        return memcmp(&x, &y, sizeof x) == 0;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
               return tolower(static_cast<unsigned char>(p)) ==
                      tolower(static_cast<unsigned char>(q));
           });
}

bool is_wildcard(const std::string &address)
{
    in6_addr a{};
    if (!address_of(address, a))
        return false;
    static const in6_addr any_v4 = {{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 0, 0}}};
    return IN6_IS_ADDR_UNSPECIFIED(&a) || memcmp(&a, &any_v4, sizeof a) == 0;
}

} // namespace

bool host_name_valid(std::string_view name_and_port)
{
    HostPort h{};
    in6_addr a{};
    return split(name_and_port, h) && (!h.literal_v6 || address_of(h.name, a));
}

bool host_allowed(std::string_view host, const std::string &listen_address, int listen_port,
                  const std::vector<std::string> &allowed)
{
    HostPort h{};
    if (!split(host, h))
        return false;
    const int port = h.port < 0 ? 80 : h.port;
    for (const std::string &entry : allowed) {
        HostPort e{};
        if (split(entry, e) && same_name(e.name, h.name) && (e.port < 0 || e.port == port))
            return true;
    }
    if (port != listen_port)
        return false;
    in6_addr a{};
    if (same_name(h.name, "localhost"))
        return true;
    // An address literal cannot be rebound: only the listen address is
    // reached by it, or any of the machine's when the listener takes all.
    return address_of(h.name, a) &&
           (is_wildcard(listen_address) || same_name(h.name, listen_address));
}
