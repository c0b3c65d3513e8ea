// SPDX-License-Identifier: MIT
// Big-endian field access for the FFT report formats.
#pragma once

#include <cstdint>

inline uint16_t report_be16(const uint8_t *p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t report_be32(const uint8_t *p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline uint64_t report_be64(const uint8_t *p)
{
    return (uint64_t{report_be32(p)} << 32) | report_be32(p + 4);
}
