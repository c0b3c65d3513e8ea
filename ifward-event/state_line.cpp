// SPDX-License-Identifier: MIT
#include "state_line.h"

#include "address_text.h"
#include "log.h"

#include <cstring>
#include <sys/socket.h>

namespace
{

enum PropertyKind { PROP_FLAG, PROP_MAC, PROP_IPV4, PROP_IPV4_PREFIX, PROP_IPV6, PROP_IPV6_PREFIX };

struct Property {
    const char *name;
    PropertyKind kind;
    uint8_t StateDatagram::*flag; // for PROP_FLAG
};

constexpr Property properties[] = {
    {"exists", PROP_FLAG, &StateDatagram::exists},
    {"enabled", PROP_FLAG, &StateDatagram::enabled},
    {"carrier", PROP_FLAG, &StateDatagram::carrier},
    {"dormant", PROP_FLAG, &StateDatagram::dormant},
    {"lldown", PROP_FLAG, &StateDatagram::lldown},
    {"mac", PROP_MAC, nullptr},
    {"ipv4_address", PROP_IPV4, nullptr},
    {"ipv4_prefix", PROP_IPV4_PREFIX, nullptr},
    {"ipv6_address", PROP_IPV6, nullptr},
    {"ipv6_prefix", PROP_IPV6_PREFIX, nullptr},
};

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}
bool is_trailing(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
// What the "%s" conversion counts as white space.
bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Copies [begin, end) into field when it is non-empty and fits.
template <std::size_t N> bool take_part(char (&field)[N], const char *begin, const char *end)
{
    std::size_t len = static_cast<std::size_t>(end - begin);
    if (len == 0 || len > N - 1)
        return false;
    std::memcpy(field, begin, len);
    field[len] = '\0';
    return true;
}

bool apply_address(StateDatagram *s, const StateLine &line, int family)
{
    ParsedAddress a;
    if (!parse_address_text(line.value, &a) || a.family != family)
        return false;
    if (family == AF_INET) {
        std::memcpy(s->ipv4_addr, a.addr, sizeof(s->ipv4_addr));
        s->ipv4_prefix = a.prefix_len;
    } else {
        std::memcpy(s->ipv6_addr, a.addr, sizeof(s->ipv6_addr));
        s->ipv6_prefix = a.prefix_len;
    }
    return true;
}

bool apply_prefix(uint8_t *field, const char *value, long max)
{
    long n = parse_decimal_text(value);
    if (n < 0 || n > max)
        return false;
    *field = static_cast<uint8_t>(n);
    return true;
}

bool apply_property(StateDatagram *s, const Property &p, const StateLine &line)
{
    switch (p.kind) {
    case PROP_FLAG:
        s->*p.flag = parse_decimal_text(line.value) != 0;
        return true;
    case PROP_MAC:
        return parse_mac_text(line.value, s->mac);
    case PROP_IPV4:
        return apply_address(s, line, AF_INET);
    case PROP_IPV4_PREFIX:
        return apply_prefix(&s->ipv4_prefix, line.value, 32);
    case PROP_IPV6:
        return apply_address(s, line, AF_INET6);
    case PROP_IPV6_PREFIX:
        return apply_prefix(&s->ipv6_prefix, line.value, 128);
    }
    return false;
}

} // namespace

LineScan state_line_scan(char *piece, StateLine *out, const char **text)
{
    char *p = piece;
    while (is_blank(*p))
        ++p;
    if (*p == '#' || *p == '\n' || *p == '\r' || *p == '\0')
        return LINE_SKIP;
    std::size_t len = std::strlen(p);
    while (len > 0 && is_trailing(p[len - 1]))
        p[--len] = '\0';
    *text = p;

    const char *dot = std::strchr(p, '.');
    if (!dot || !take_part(out->ifname, p, dot))
        return LINE_MALFORMED;
    const char *eq = std::strchr(dot + 1, '=');
    if (!eq || !take_part(out->property, dot + 1, eq))
        return LINE_MALFORMED;
    const char *v = eq + 1;
    while (is_space(*v))
        ++v;
    const char *v_end = v;
    while (*v_end && !is_space(*v_end))
        ++v_end;
    if (!take_part(out->value, v, v_end))
        return LINE_MALFORMED;
    return LINE_OK;
}

ApplyResult state_apply(StateDatagram *s, const StateLine &line)
{
    for (const auto &p : properties) {
        if (std::strcmp(p.name, line.property) != 0)
            continue;
        if (apply_property(s, p, line))
            return APPLY_OK;
        log_error("Invalid %s.%s value: %s", line.ifname, p.name, line.value);
        return APPLY_INVALID;
    }
    return APPLY_UNKNOWN;
}
