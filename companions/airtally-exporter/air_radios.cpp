// SPDX-License-Identifier: MIT
#include "air_radios.h"

#include "fleet_contract.h"

#include <algorithm>

namespace airtally_exporter
{

namespace
{

std::string radio_of_socket(std::string_view path)
{
    if (const size_t slash = path.rfind('/'); slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    if (const size_t dot = path.rfind('.'); dot != std::string_view::npos && dot > 0)
        path = path.substr(0, dot);
    return std::string(path);
}

} // namespace

bool air_source_parse(std::string_view arg, AirSource &out, std::string &error)
{
    out = AirSource{};
    const size_t eq = arg.rfind('=');
    if (eq != std::string_view::npos && arg.find('/', eq) == std::string_view::npos) {
        out.radio = std::string(arg.substr(eq + 1));
        arg = arg.substr(0, eq);
    } else {
        out.radio = radio_of_socket(arg);
    }
    out.socket_path = std::string(arg);
    if (out.socket_path.empty()) {
        error = "--rfwatchd needs a socket path";
        return false;
    }
    if (!fleet_name_ok(out.radio)) {
        error = "--rfwatchd " + out.socket_path + ": the radio name \"" + out.radio +
                "\" must be " + FLEET_NAME_RULE + " (give SOCKET=RADIO)";
        return false;
    }
    return true;
}

AirTake air_radio_take(AirRadio &r, std::string_view text, int64_t now_us)
{
    if (!is_air_line(text))
        return AirTake::Ignored;
    AirLine line;
    if (!parse_air_line(text, line))
        return AirTake::Refused;
    auto &caps = r.captures;
    size_t at = static_cast<size_t>(
        std::lower_bound(caps.begin(), caps.end(), line.freq_mhz,
                         [](const AirCapture &c, uint16_t f) { return c.line.freq_mhz < f; }) -
        caps.begin());
    if (at == caps.size() || caps[at].line.freq_mhz != line.freq_mhz) {
        if (caps.size() >= AIR_CAPTURES_PER_RADIO) {
            const auto oldest = std::min_element(
                caps.begin(), caps.end(),
                [](const AirCapture &a, const AirCapture &b) { return a.order < b.order; });
            if (static_cast<size_t>(oldest - caps.begin()) < at)
                at--;
            caps.erase(oldest);
        }
        caps.insert(caps.begin() + static_cast<std::ptrdiff_t>(at), AirCapture{});
    }
    AirCapture &c = caps[at];
    c.seen_us = now_us;
    c.order = ++r.arrivals;
    c.line = std::move(line);
    return AirTake::Kept;
}

void air_radio_expire(AirRadio &r, int64_t now_us)
{
    std::erase_if(r.captures,
                  [&](const AirCapture &c) { return now_us - c.seen_us > AIR_CAPTURE_EXPIRY_US; });
}

} // namespace airtally_exporter
