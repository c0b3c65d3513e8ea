// rfwatch-mqtt's connection to the broker: libmosquitto driven from our own
// poll() loop (no thread of its own), a fresh client per attempt so nothing
// of a dead connection lingers, and the bounded ring in front of it.
#pragma once

#include "broker_connect.h"
#include "fleet_contract.h"
#include "options.h"
#include "publish_ring.h"

#include <cstdint>
#include <memory>
#include <mosquitto.h>
#include <string>
#include <string_view>
#include <vector>

// At most this many messages are in libmosquitto's hands at once, so its
// own queue stays small whatever the broker does.
constexpr int BROKER_WINDOW = 20;
constexpr int64_t STATUS_MIN_GAP_US = 10000000;
constexpr int BROKER_KEEPALIVE_S = 30;
// Even unchanged, the status is published again this often: fleet pages
// forget radios they have not heard of for a while (rfwatch-web(1)).
constexpr int64_t STATUS_REFRESH_US = 300000000;
// The largest packet the broker may send us (MQTT 5): commands are at most
// COMMAND_MAX_BYTES, the rest are acknowledgements. The broker drops larger
// publishes for this client instead of making us hold them.
constexpr uint32_t BROKER_PACKET_BASE = 16384;
// How often the loop looks whether the helper thread has connected.
constexpr int64_t CONNECT_POLL_US = 20000;

struct MosquittoDeleter {
    void operator()(mosquitto *m) const { mosquitto_destroy(m); }
};

// Starting: the helper thread looks the name up and connects.
enum class BrokerState { Idle, Starting, Connecting, Connected };

// Called for each checked command from the command topic; false: error says
// why it was not passed on.
using CommandSink = bool (*)(void *context, std::string_view json, std::string &error);

struct BrokerSide {
    const MqttOptions *options;
    std::string password;
    bool has_password;
    std::string topic_spectrum, topic_status, topic_command;
    std::unique_ptr<mosquitto, MosquittoDeleter> mosq;
    ConnectJob job; // the client while Starting
    bool v5;        // false once the broker said it speaks only MQTT 3.1.1
    BrokerState state;
    int64_t next_attempt_us, backoff_us;
    bool auth_refused;           // the broker refused this attempt's login
    bool version_refused;        // ... or MQTT 5: retried at once with 3.1.1
    std::string log_error;       // libmosquitto's last error line this attempt
    std::string last_reported;   // the failure line printed last
    int lib_pending;             // publishes libmosquitto has not confirmed
    bool in_publish;             // inside mosquitto_publish()
    std::vector<int> early_mids; // confirmed before mosquitto_publish returned
    PublishRing ring;
    FleetStatus status;
    uint64_t other_dropped; // overlong lines, no spectrum (compact)
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

// One line from rfwatchd, already in the form to publish.
void broker_offer(BrokerSide &b, std::string_view payload);
// A line read that will not be published (counted in "dropped").
void broker_count_unpublishable(BrokerSide &b);
void broker_set_daemon(BrokerSide &b, bool connected);

// Publishes "offline" and disconnects cleanly, within about two seconds.
void broker_shutdown(BrokerSide &b);
