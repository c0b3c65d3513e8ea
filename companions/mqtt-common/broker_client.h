// SPDX-License-Identifier: MIT
// The one MQTT client of the companions: a fresh libmosquitto client per
// attempt (nothing of a dead connection lingers), one TLS set-up, one
// back-off, connecting on a helper thread (broker_connect.h), MQTT 5 with
// a fall-back to 3.1.1, keep-alive, and one line per new kind of failure.
// It owns no loop: the caller polls broker_client_socket() and calls
// broker_client_io() and broker_client_tick(), or lets broker_lws.h do so
// from a libwebsockets loop.
#pragma once

#include "broker_connect.h"
#include "broker_url.h"

#include <cstdint>
#include <memory>
#include <mosquitto.h>
#include <string>

constexpr int64_t BROKER_BACKOFF_FIRST_US = 1000000;
constexpr int64_t BROKER_BACKOFF_MAX_US = 30000000;
constexpr int BROKER_KEEPALIVE_S = 30;
// How often the loop looks whether the helper thread has connected.
constexpr int64_t BROKER_CONNECT_POLL_US = 20000;

// The client's clock: monotonic, so setting the time moves no deadline.
int64_t broker_now_us();
// 1 s, 2 s, 4 s ... 30 s.
int64_t broker_backoff_next(int64_t current_us);

struct BrokerSetup {
    const char *program; // starts each line printed
    BrokerUrl broker;
    std::string password; // used with a user
    bool has_password;
    std::string cafile;    // empty: the system's trusted authorities (mqtts)
    std::string cert, key; // a client certificate (mqtts), both or neither
    std::string client_id; // empty: libmosquitto makes one up
    // MQTT 5: the largest packet the broker may send us; it drops larger
    // messages for this client instead of making us hold them.
    uint32_t max_packet;
    int max_inflight; // 0: libmosquitto's default
};

// What the client tells its owner; context is BrokerClient::context.
struct BrokerEvents {
    // Sets up a fresh client (its will) before it connects; false: give up
    // this attempt. May be nullptr.
    bool (*prepare)(void *context, mosquitto *m);
    // The broker accepted us (subscribe here); false: this attempt is over.
    bool (*connected)(void *context, mosquitto *m);
    void (*message)(void *context, const mosquitto_message *msg);
    void (*published)(void *context, int mid);
    // The attempt is over and its client gone; was_connected: it had been
    // accepted. A new attempt follows after the back-off.
    void (*over)(void *context, bool was_connected);
};

struct MosquittoDeleter {
    void operator()(mosquitto *m) const { mosquitto_destroy(m); }
};

// Starting: the helper thread looks the name up and connects.
enum class BrokerState { Idle, Starting, Connecting, Connected };

struct BrokerClient {
    BrokerSetup setup;
    BrokerEvents events;
    void *context;
    std::unique_ptr<mosquitto, MosquittoDeleter> mosq;
    ConnectJob job; // the client while Starting
    bool v5;        // false once the broker said it speaks only MQTT 3.1.1
    BrokerState state;
    int64_t next_attempt_us, backoff_us;
    bool auth_refused;         // the broker refused this attempt's login
    bool version_refused;      // ... or MQTT 5: retried at once with 3.1.1
    bool refused;              // ... or refused it otherwise
    std::string log_error;     // libmosquitto's last error line this attempt
    std::string last_reported; // the failure line printed last
    uint64_t attempt;          // counts attempts: tells a new socket from an old one
};

// false: libmosquitto could not be initialised.
bool broker_client_init(BrokerClient &c, BrokerSetup setup, BrokerEvents events, void *context);
// Starts an attempt when due, takes the client back from the helper
// thread, keeps the connection alive.
void broker_client_tick(BrokerClient &c, int64_t now_us);
// When broker_client_tick wants to run next.
int64_t broker_client_deadline(const BrokerClient &c, int64_t now_us);
// The connection's socket to watch (-1: none) and whether it has bytes to
// write.
int broker_client_socket(const BrokerClient &c);
bool broker_client_wants_write(const BrokerClient &c);
// The socket is readable (or hung up) and/or writable.
void broker_client_io(BrokerClient &c, bool readable, bool writable, int64_t now_us);
// The same for a poll() loop: the events to watch the socket for (0 while
// there is none) and the handling of what poll returned.
short broker_client_poll_events(const BrokerClient &c);
void broker_client_poll_handle(BrokerClient &c, short revents, int64_t now_us);
// Ends the attempt from outside (its socket cannot be watched): as if the
// connection had failed with libmosquitto's rc.
void broker_client_drop(BrokerClient &c, int64_t now_us, int rc);
// Prints "PROGRAM: line" unless it was the last line printed.
void broker_client_report(BrokerClient &c, const std::string &line);
// "host:port".
std::string broker_client_where(const BrokerClient &c);
// Drops the connection (or the connection under way) and leaves the
// library as a helper thread still inside it needs it.
void broker_client_stop(BrokerClient &c);
