// SPDX-License-Identifier: MIT
#include "mqtt_client.h"

#include <algorithm>
#include <mosquitto.h>

namespace wdtest
{

namespace
{

constexpr int ACK_WAIT_MS = 20000;

struct LibInit {
    LibInit() { mosquitto_lib_init(); }
};

} // namespace

MqttClient::~MqttClient()
{
    disconnect();
}

void MqttClient::connect_cb(mosquitto * /*m*/, void *self, int rc)
{
    auto *c = static_cast<MqttClient *>(self);
    std::lock_guard<std::mutex> lock(c->mu_);
    c->connack_ = rc;
    c->cv_.notify_all();
}

void MqttClient::message_cb(mosquitto * /*m*/, void *self, const mosquitto_message *msg)
{
    auto *c = static_cast<MqttClient *>(self);
    if (c->on_message) {
        c->on_message(*msg);
        return;
    }
    Message m{
        msg->topic,
        std::string(static_cast<const char *>(msg->payload), static_cast<size_t>(msg->payloadlen)),
        msg->retain, std::chrono::steady_clock::now()};
    std::lock_guard<std::mutex> lock(c->mu_);
    c->messages_.push_back(std::move(m));
    c->cv_.notify_all();
}

void MqttClient::publish_cb(mosquitto * /*m*/, void *self, int mid)
{
    auto *c = static_cast<MqttClient *>(self);
    std::lock_guard<std::mutex> lock(c->mu_);
    c->acked_.push_back(mid);
    c->cv_.notify_all();
}

void MqttClient::subscribe_cb(mosquitto *m, void *self, int mid, int /*count*/,
                              const int * /*granted*/)
{
    publish_cb(m, self, mid);
}

bool MqttClient::connect(int port, const MqttLogin &login, std::string *why)
{
    static LibInit init;
    disconnect();
    mosq_ = mosquitto_new(login.client_id.empty() ? nullptr : login.client_id.c_str(),
                          login.clean_session, this);
    if (mosq_ == nullptr) {
        if (why)
            *why = "mosquitto_new failed";
        return false;
    }
    mosquitto_connect_callback_set(mosq_, connect_cb);
    mosquitto_message_callback_set(mosq_, message_cb);
    mosquitto_publish_callback_set(mosq_, publish_cb);
    mosquitto_subscribe_callback_set(mosq_, subscribe_cb);
    mosquitto_reconnect_delay_set(mosq_, 1, 2, false);
    if (!login.user.empty())
        mosquitto_username_pw_set(mosq_, login.user.c_str(),
                                  login.password.empty() ? nullptr : login.password.c_str());
    if (!login.cafile.empty())
        mosquitto_tls_set(mosq_, login.cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
    connack_ = -1;
    int rc = mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_start(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) {
        if (why)
            *why = mosquitto_strerror(rc);
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return false;
    }
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait_for(lock, std::chrono::milliseconds(ACK_WAIT_MS), [&] { return connack_ >= 0; });
    if (connack_ == 0)
        return true;
    if (why)
        *why = connack_ < 0 ? "no answer from the broker" : mosquitto_connack_string(connack_);
    lock.unlock();
    disconnect();
    return false;
}

bool MqttClient::subscribe(const std::string &topic, int qos)
{
    int mid = 0;
    if (mosq_ == nullptr ||
        mosquitto_subscribe(mosq_, &mid, topic.c_str(), qos) != MOSQ_ERR_SUCCESS)
        return false;
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ACK_WAIT_MS), [&] {
        return std::find(acked_.begin(), acked_.end(), mid) != acked_.end();
    });
}

bool MqttClient::publish(const std::string &topic, const std::string &payload, int qos, bool retain)
{
    int mid = 0;
    if (mosq_ == nullptr ||
        mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), qos, retain) != MOSQ_ERR_SUCCESS)
        return false;
    if (qos == 0)
        return true;
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ACK_WAIT_MS), [&] {
        return std::find(acked_.begin(), acked_.end(), mid) != acked_.end();
    });
}

void MqttClient::disconnect()
{
    if (mosq_ == nullptr)
        return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

std::vector<MqttClient::Message> MqttClient::messages() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return messages_;
}

size_t MqttClient::count() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return messages_.size();
}

bool MqttClient::wait_for(const std::function<bool(const std::vector<Message> &)> &pred,
                          int timeout_ms) const
{
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [&] { return pred(messages_); });
}

} // namespace wdtest
