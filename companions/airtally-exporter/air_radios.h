// SPDX-License-Identifier: MIT
// What the exporter keeps of each radio's rfwatchd air lines between
// scrapes: the latest line per centre frequency, bounded, forgotten when
// the daemon goes or the frequency is no longer swept.
#pragma once

#include "air_line.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace airtally_exporter
{

// A sweep over 5 GHz visits about 25 centres; past this the oldest goes.
constexpr size_t AIR_CAPTURES_PER_RADIO = 64;
// A centre not heard of for this long is no longer swept.
constexpr int64_t AIR_CAPTURE_EXPIRY_US = 60000000;

// --rfwatchd SOCKET[=RADIO]
struct AirSource {
    std::string socket_path;
    std::string radio;
};

struct AirCapture {
    int64_t seen_us;
    uint64_t order; // arrival, to tell lines with one timestamp apart
    AirLine line;
};

struct AirRadio {
    std::string name;
    bool up = false;
    uint64_t arrivals = 0;
    std::vector<AirCapture> captures; // by centre frequency
};

// "SOCKET" or "SOCKET=RADIO" (RADIO after the last '=' when it holds no
// '/'); RADIO defaults to the socket's file name without extension and must
// keep the fleet's name rule. false: error says why.
bool air_source_parse(std::string_view arg, AirSource &out, std::string &error);

// A line from the radio's daemon. Spectrum lines are not looked at
// (Ignored); an air line that does not parse is Refused and changes nothing.
enum class AirTake { Kept, Ignored, Refused };
AirTake air_radio_take(AirRadio &r, std::string_view text, int64_t now_us);
// Drops the centres not heard of within AIR_CAPTURE_EXPIRY_US.
void air_radio_expire(AirRadio &r, int64_t now_us);

} // namespace airtally_exporter
