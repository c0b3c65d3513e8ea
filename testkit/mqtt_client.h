// SPDX-License-Identifier: MIT
// An MQTT client for tests and benchmarks (libmosquitto with its own
// thread): subscribes and records what arrives, or publishes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace wdtest
{

struct MqttLogin {
    std::string user, password; // empty user: anonymous
    std::string client_id;      // empty: the library makes one
    bool clean_session = true;  // false: the broker keeps what arrives meanwhile
    std::string cafile;         // set: TLS, verified against it
};

class MqttClient
{
  public:
    struct Message {
        std::string topic, payload;
        bool retain;
        std::chrono::steady_clock::time_point at;
    };

    MqttClient() = default;
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;
    ~MqttClient();

    // Connects and waits for the broker's answer; false: why (the broker's
    // refusal or the library's error). Reconnects by itself afterwards.
    bool connect(int port, const MqttLogin &login, std::string *why = nullptr);
    // Subscribes and waits for the broker's acknowledgement.
    bool subscribe(const std::string &topic, int qos);
    // Publishes; with qos 1 waits for the broker's acknowledgement.
    bool publish(const std::string &topic, const std::string &payload, int qos = 0,
                 bool retain = false);
    void disconnect();

    std::vector<Message> messages() const;
    size_t count() const;
    // Waits until pred(messages) holds.
    bool wait_for(const std::function<bool(const std::vector<Message> &)> &pred,
                  int timeout_ms) const;
    // Called on the client's thread for each message, when set (before
    // connecting), instead of recording it.
    std::function<void(const mosquitto_message &)> on_message;

  private:
    static void connect_cb(mosquitto *m, void *self, int rc);
    static void message_cb(mosquitto *m, void *self, const mosquitto_message *msg);
    static void publish_cb(mosquitto *m, void *self, int mid);
    static void subscribe_cb(mosquitto *m, void *self, int mid, int count, const int *granted);

    mosquitto *mosq_ = nullptr;
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    int connack_ = -1;
    std::vector<int> acked_;
    std::vector<Message> messages_;
};

} // namespace wdtest
