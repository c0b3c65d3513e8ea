// SPDX-License-Identifier: MIT
#include "spectrum_line.h"

#include <cmath>
#include <cstdio>

namespace wdtest
{

std::string spectrum_line(const SpectrumLine &l)
{
    char head[256];
    snprintf(head, sizeof head,
             R"({"detector":%d,"freq_mhz":%d,"bandwidth_mhz":%d,"noise_dbm":%d,"rssi":%u,)"
             R"("timestamp":%llu,"num_aggregated":%u,"bin_count":%zu,"bins":[)",
             l.detector, l.freq_mhz, l.bandwidth_mhz, l.noise_dbm, l.rssi,
             static_cast<unsigned long long>(l.timestamp), l.num_aggregated, l.bins.size());
    std::string out = head;
    for (size_t i = 0; i < l.bins.size(); i++) {
        char v[32] = "null";
        if (std::isfinite(l.bins[i]))
            snprintf(v, sizeof v, "%.2f", l.bins[i]);
        out += (i ? "," : "") + std::string(v);
    }
    return out + "]}";
}

std::vector<double> ramp_bins(size_t n)
{
    std::vector<double> bins(n);
    for (size_t i = 0; i < n; i++)
        bins[i] = -95.12 + static_cast<double>(i) * 0.25;
    return bins;
}

} // namespace wdtest
