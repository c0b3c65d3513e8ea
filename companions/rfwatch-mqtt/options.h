// SPDX-License-Identifier: MIT
// rfwatch-mqtt's command line: the options, the broker URL and the topics
// they make. Parsed by one table, so usage text and parsing cannot drift.
#pragma once

#include "broker_url.h"
#include "cli.h"
#include "fleet_contract.h"
#include "socket_name.h"

#include <string>
#include <string_view>

enum class PayloadFormat { Json, Compact };

struct MqttOptions {
    std::string socket_path;
    std::string url_text;
    BrokerUrl broker;
    std::string node;   // default: the host name
    std::string radio;  // default: the socket's file name without extension
    std::string prefix; // default: wifidiag
    int period_ms;      // 0: leave rfwatchd's aggregation alone
    int air_period_ms;  // 0: do not ask rfwatchd for air lines
    PayloadFormat format;
    int qos;
    bool commands;
    std::string password_file;
    std::string cafile;
    std::string cert, key;
    std::string client_id; // default: rfwatch-mqtt-NODE-RADIO
    size_t max_queue;
};

constexpr size_t MAX_QUEUE_DEFAULT = 1000;
constexpr size_t MAX_QUEUE_LIMIT = 1000000;
constexpr int PERIOD_MAX_MS = 60000;
constexpr int AIR_PERIOD_DEFAULT_MS = 1000;
// rfwatchd ignores a shorter air period (and 0 means off).
constexpr int AIR_PERIOD_MIN_MS = 100;

// Fills o (defaults applied) from argv; Usage: error holds one line.
CliResult parse_options(int argc, char *const *argv, MqttOptions &o, std::string &error);
extern const CliProgram MQTT_CLI;
