// SPDX-License-Identifier: MIT
// What in rfwatchd's air lines starts a flight-recorder event: a class of
// signal other than Wi-Fi that no air line of the window had, and a channel
// whose quality falls below the threshold (again only after it recovered).
// Fixed tables: a line can neither grow them nor make them slow.
#pragma once

#include "air_line.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// More than the daemon's classes (seven); a newer daemon's names fit too.
constexpr size_t FLIGHT_CLASSES = 16;
// More than a 2.4 and 5 GHz sweep names.
constexpr size_t FLIGHT_CHANNELS = 64;
// "class-" and the longest class name a line may carry.
constexpr size_t FLIGHT_CAUSE_MAX = 6 + AIR_LINE_MAX_NAME;

struct FlightClassSeen {
    std::array<char, AIR_LINE_MAX_NAME + 1> name;
    uint64_t time_us; // the last air line that had it
    uint64_t line;    // and its number
};

struct FlightChannelQuality {
    uint16_t channel;
    int quality;      // in its last air line
    uint64_t time_us; // of that line: the oldest entry makes room
};

struct FlightTriggers {
    int64_t window_us = 0;
    int below_quality = -1; // -1: no quality trigger
    std::array<FlightClassSeen, FLIGHT_CLASSES> classes{};
    size_t class_count = 0;
    uint64_t lines = 0; // air lines seen
    std::array<FlightChannelQuality, FLIGHT_CHANNELS> channels{};
    size_t channel_count = 0;
};

struct FlightCause {
    std::array<char, FLIGHT_CAUSE_MAX + 1> text; // a word for a file name
};

// One line raises at most one cause per signal and per channel.
struct FlightCauses {
    std::array<FlightCause, AIR_LINE_MAX_SIGNALS + AIR_LINE_MAX_CHANNELS> list;
    size_t count = 0;
};

void flight_triggers_init(FlightTriggers &t, int64_t window_us, int below_quality);
// The causes an air line that arrived at time_us raises, in the line's
// order (signals, then channels); the tables then remember the line.
void flight_triggers_air(FlightTriggers &t, uint64_t time_us, const AirLine &line,
                         FlightCauses &out);

// cause as a word that is safe in a file name and a JSON string: letters,
// digits, '-' and '_' kept, anything else '_', at most FLIGHT_CAUSE_MAX
// characters; "trigger" when nothing is left.
void flight_cause_word(std::string_view cause, FlightCause &out);
