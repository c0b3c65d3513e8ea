// SPDX-License-Identifier: MIT
#include "air_line_text.h"

#include <cstdio>

namespace wdtest
{

namespace
{

std::string format(const char *fmt, double a)
{
    char b[64];
    snprintf(b, sizeof b, fmt, a);
    return b;
}

} // namespace

std::string air_line(const AirLineText &l)
{
    std::string t = "{\"air\":1,\"driver\":\"" + l.driver + "\",\"freq_mhz\":" +
                     std::to_string(l.freq_mhz) + ",\"bandwidth_mhz\":" +
                     std::to_string(l.bandwidth_mhz) + ",\"timestamp\":" +
                     std::to_string(l.timestamp) + ",\"window_ms\":" + std::to_string(l.window_ms) +
                     ",\"reports\":" + std::to_string(l.reports) +
                     ",\"noise_floor_dbm\":" + format("%.1f", l.noise_floor_dbm) +
                     ",\"busy_threshold_dbm\":" + format("%.1f", l.busy_threshold_dbm) +
                     ",\"channels\":[";
    for (size_t i = 0; i < l.channels.size(); i++) {
        const AirChannelText &c = l.channels[i];
        t += (i ? ",{" : "{") + std::string("\"channel\":") + std::to_string(c.channel) +
             ",\"mhz\":" + std::to_string(c.mhz) +
             ",\"utilisation\":" + format("%.3f", c.utilisation) +
             ",\"quality\":" + std::to_string(c.quality) + "}";
    }
    t += "],\"signals\":[";
    for (size_t i = 0; i < l.signals.size(); i++) {
        const AirSignalText &s = l.signals[i];
        t += (i ? ",{" : "{") + std::string("\"class\":\"") + s.cls +
             "\",\"mhz\":" + format("%.1f", s.mhz) + ",\"width_mhz\":" + format("%.1f", s.width_mhz) +
             ",\"dbm\":" + format("%.1f", s.dbm) + ",\"duty\":" + format("%.3f", s.duty) +
             ",\"confidence\":" + format("%.3f", s.confidence) +
             ",\"first_seen\":" + std::to_string(s.first_seen) +
             ",\"age_ms\":" + std::to_string(s.age_ms);
        if (s.period_ms > 0)
            t += ",\"period_ms\":" + format("%.1f", s.period_ms);
        if (s.hops > 0)
            t += ",\"hops\":" + std::to_string(s.hops);
        if (s.burst_ms > 0)
            t += ",\"burst_ms\":" + format("%.1f", s.burst_ms);
        t += "}";
    }
    return t + "]}";
}

} // namespace wdtest
