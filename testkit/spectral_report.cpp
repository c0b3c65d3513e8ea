// SPDX-License-Identifier: MIT
#include "spectral_report.h"

namespace wdtest
{

namespace
{

void put_be(std::vector<uint8_t> &out, size_t at, uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v & 0xff);
        v >>= 8;
    }
}

} // namespace

void append_report(std::vector<uint8_t> &out, const Ath11kReport &r)
{
    size_t at = out.size();
    out.resize(at + ATH11K_HEAD, 0);
    uint16_t length = r.length ? *r.length : static_cast<uint16_t>(25 + r.bins.size());
    out[at + 0] = r.type;
    put_be(out, at + 1, length, 2);
    out[at + 3] = r.bandwidth_mhz;
    out[at + 5] = r.max_exp;
    out[at + 6] = r.gain;
    out[at + 7] = r.offset_sub;
    out[at + 8] = r.offset_base;
    put_be(out, at + 12, r.freq_mhz, 2);
    put_be(out, at + 18, r.rssi, 2);
    put_be(out, at + 20, r.timestamp, 4);
    out.insert(out.end(), r.bins.begin(), r.bins.end());
}

void append_report(std::vector<uint8_t> &out, const Ath10kReport &r)
{
    size_t at = out.size();
    out.resize(at + ATH10K_HEAD, 0);
    uint16_t length = r.length ? *r.length : static_cast<uint16_t>(26 + r.bins.size());
    out[at + 0] = r.type;
    put_be(out, at + 1, length, 2);
    out[at + 3] = r.bandwidth_mhz;
    put_be(out, at + 4, r.freq_mhz, 2);
    put_be(out, at + 8, static_cast<uint16_t>(r.noise_dbm), 2);
    put_be(out, at + 16, r.timestamp, 8);
    out[at + 25] = r.rssi;
    out.insert(out.end(), r.bins.begin(), r.bins.end());
}

} // namespace wdtest
