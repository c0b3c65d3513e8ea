// SPDX-License-Identifier: MIT
// rfwatch-mqtt's side of the broker: the bounded ring in front of the
// shared client (broker_client.h, driven from our own poll() loop), the
// retained status, and the commands the broker passes on.
#pragma once

#include "broker_client.h"
#include "fleet_contract.h"
#include "options.h"
#include "publish_ring.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// At most this many messages are in libmosquitto's hands at once, so its
// own queue stays small whatever the broker does.
constexpr int BROKER_WINDOW = 20;
constexpr int64_t STATUS_MIN_GAP_US = 10000000;
// Even unchanged, the status is published again this often: fleet pages
// forget radios they have not heard of for a while (rfwatch-web(1)).
constexpr int64_t STATUS_REFRESH_US = 300000000;
// The largest packet the broker may send us (MQTT 5): commands are at most
// COMMAND_MAX_BYTES, the rest are acknowledgements.
constexpr uint32_t BROKER_PACKET_BASE = 16384;

// Called for each checked command from the command topic; false: error says
// why it was not passed on.
using CommandSink = bool (*)(void *context, std::string_view json, std::string &error);

struct BrokerSide {
    const MqttOptions *options;
    std::string topic_spectrum, topic_status, topic_command, topic_air;
    BrokerClient client;
    int lib_pending;             // publishes libmosquitto has not confirmed
    bool in_publish;             // inside mosquitto_publish()
    std::vector<int> early_mids; // confirmed before mosquitto_publish returned
    PublishRing ring;
    FleetStatus status;
    uint64_t other_dropped; // overlong lines, no spectrum (compact), unparsable air lines
    FleetStatus published;  // what the retained status says now
    bool status_force;
    int64_t last_status_us;
    CommandSink command_sink;
    void *command_context;
};

bool broker_init(BrokerSide &b, const MqttOptions &o, std::string password, bool has_password,
                 CommandSink sink, void *context);
// Starts an attempt when due, hands queued messages over, publishes the
// status when due, keeps the connection alive.
void broker_tick(BrokerSide &b, int64_t now_us);
int broker_socket(const BrokerSide &b);
short broker_events(const BrokerSide &b);
void broker_handle(BrokerSide &b, short revents, int64_t now_us);
int64_t broker_deadline(const BrokerSide &b, int64_t now_us);

// One line from rfwatchd, already in the form to publish, for the spectrum
// topic or (an air line) the air topic.
void broker_offer(BrokerSide &b, std::string_view payload, RingTopic topic = RingTopic::Spectrum);
// A line read that will not be published (counted in "dropped").
void broker_count_unpublishable(BrokerSide &b);
void broker_set_daemon(BrokerSide &b, bool connected);

// Publishes "offline" and disconnects cleanly, within about two seconds.
void broker_shutdown(BrokerSide &b);
