// SPDX-License-Identifier: MIT
// rfwatch-record's other source: one radio of the fleet from an MQTT
// broker, as rfwatch-mqtt publishes it (fleet_contract.h). A spectrum
// payload is the line itself (json) or its frame (compact), which becomes
// the line rfwatchd wrote (spectrum_line_text); air payloads are lines.
// The shared broker client, driven from the program's poll() loop.
#pragma once

#include "broker_client.h"
#include "frame.h"
#include "line_buffer.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The largest packet the broker may send us: a JSON spectrum line is at
// most LINE_MAX_BYTES; room for the topic and the packet's own fields.
constexpr uint32_t MQTT_SOURCE_MAX_PACKET = LINE_MAX_BYTES + 1024;

struct MqttSourceSink {
    void *context;
    void (*line)(void *context, std::string_view line);
    void (*broker)(void *context, bool connected);
    void (*refused)(void *context); // a payload that is no line
};

struct MqttSource {
    std::string topic_spectrum, topic_air; // topic_air empty: not subscribed
    BrokerClient client;
    MqttSourceSink sink;
    SpectrumFrame frame; // reused
    std::string line;    // reused
};

struct MqttSourceSetup {
    BrokerUrl broker;
    std::string topic; // P/NODE/RADIO
    bool air;
    std::string password; // used with the URL's user
    bool has_password;
    std::string cafile;
};

// false: libmosquitto could not be initialised.
bool mqtt_source_init(MqttSource &m, MqttSourceSetup setup, MqttSourceSink sink);
void mqtt_source_tick(MqttSource &m, int64_t now_us);
int mqtt_source_socket(const MqttSource &m);
short mqtt_source_events(const MqttSource &m);
void mqtt_source_handle(MqttSource &m, short revents, int64_t now_us);
int64_t mqtt_source_deadline(const MqttSource &m, int64_t now_us);
void mqtt_source_stop(MqttSource &m);

// A spectrum topic's payload as the line it stands for: JSON as it came,
// a compact frame rendered. false: neither (out unspecified).
bool line_of_spectrum_payload(std::span<const uint8_t> payload, SpectrumFrame &frame,
                              std::string &out);
