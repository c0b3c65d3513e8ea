// SPDX-License-Identifier: MIT
#include "address_text.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

namespace
{

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool parse_mac_text(const char *text, uint8_t (&mac)[MAC_LEN])
{
    uint8_t out[MAC_LEN];
    const char *p = text;
    for (std::size_t i = 0; i < MAC_LEN; ++i) {
        if (i > 0 && *p++ != ':')
            return false;
        int hi = hex_digit(*p);
        if (hi < 0)
            return false;
        ++p;
        int lo = hex_digit(*p);
        if (lo < 0) {
            out[i] = static_cast<uint8_t>(hi);
        } else {
            out[i] = static_cast<uint8_t>(hi << 4 | lo);
            ++p;
        }
    }
    std::memcpy(mac, out, MAC_LEN);
    return true;
}

long parse_decimal_text(const char *text)
{
    return std::strtol(text, nullptr, 10);
}

bool parse_address_text(const char *text, ParsedAddress *out)
{
    char copy[ADDRESS_TEXT_MAX + 1];
    std::size_t len = strnlen(text, ADDRESS_TEXT_MAX + 1);
    if (len > ADDRESS_TEXT_MAX)
        return false;
    std::memcpy(copy, text, len);
    copy[len] = '\0';

    char *slash = std::strchr(copy, '/');
    long prefix = 0;
    if (slash) {
        *slash = '\0';
        prefix = parse_decimal_text(slash + 1);
    }

    ParsedAddress a{};
    long max_prefix;
    if (inet_pton(AF_INET, copy, a.addr) == 1) {
        a.family = AF_INET;
        max_prefix = 32;
    } else if (inet_pton(AF_INET6, copy, a.addr) == 1) {
        a.family = AF_INET6;
        max_prefix = 128;
    } else {
        return false;
    }
    if (!slash)
        prefix = max_prefix;
    if (prefix < 0 || prefix > max_prefix)
        return false;
    a.prefix_len = static_cast<uint8_t>(prefix);
    *out = a;
    return true;
}
