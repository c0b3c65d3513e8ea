// The retained status message: one place that writes its exact form.
#pragma once

#include <cstdint>
#include <string>

struct MqttStatus {
    bool online;
    bool daemon_connected;
    uint64_t lines;   // lines read from rfwatchd since the start
    uint64_t dropped; // lines not published: queue full, too long, or no spectrum (compact)
};

// {"state":"online"|"offline","daemon":"connected"|"unreachable","lines":N,"dropped":N}
std::string status_json(const MqttStatus &s);
