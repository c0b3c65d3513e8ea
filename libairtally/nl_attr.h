// SPDX-License-Identifier: MIT
// Reading nl80211 attributes that were parsed without a policy: nothing has
// checked their lengths, so one too short for its type counts as absent
// instead of being read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <netlink/attr.h>

namespace airtally
{

inline bool attr_u32(const nlattr *a, uint32_t *out)
{
    if (!a || nla_len(a) < static_cast<int>(sizeof(uint32_t)))
        return false;
    std::memcpy(out, nla_data(a), sizeof(uint32_t));
    return true;
}

inline bool attr_u8(const nlattr *a, uint8_t *out)
{
    if (!a || nla_len(a) < 1)
        return false;
    *out = *static_cast<const uint8_t *>(nla_data(a));
    return true;
}

inline bool attr_bytes(const nlattr *a, void *out, size_t n)
{
    if (!a || nla_len(a) < static_cast<int>(n))
        return false;
    std::memcpy(out, nla_data(a), n);
    return true;
}

// Copies a string attribute into dst[cap]: at most cap - 1 characters,
// stopping at the attribute's NUL or its end, and always terminated.
inline bool attr_string(const nlattr *a, char *dst, size_t cap)
{
    if (!a)
        return false;
    const char *src = static_cast<const char *>(nla_data(a));
    size_t n = strnlen(src, static_cast<size_t>(nla_len(a)));
    if (n > cap - 1)
        n = cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return true;
}

} // namespace airtally
