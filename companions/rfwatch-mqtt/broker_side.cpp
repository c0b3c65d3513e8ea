// SPDX-License-Identifier: MIT
#include "broker_side.h"

#include "clock.h"
#include "command.h"
#include "log_escape.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

FleetStatus current_status(const BrokerSide &b, bool online)
{
    FleetStatus s = b.status;
    s.online = online;
    s.dropped = b.ring.dropped + b.other_dropped;
    return s;
}

BrokerSide &side_of(void *context)
{
    return *static_cast<BrokerSide *>(context);
}

void confirm(BrokerSide &b, int mid)
{
    b.lib_pending--;
    ring_confirm(b.ring, mid);
}

void on_publish(void *context, int mid)
{
    BrokerSide &b = side_of(context);
    if (b.in_publish)
        b.early_mids.push_back(mid);
    else
        confirm(b, mid);
}

// QoS 0 messages may be written, and confirmed, inside mosquitto_publish.
int publish(BrokerSide &b, const std::string &topic, std::string_view payload, int qos, bool retain)
{
    int mid = 0;
    b.in_publish = true;
    b.early_mids.clear();
    const int rc = mosquitto_publish(b.client.mosq.get(), &mid, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), qos, retain);
    b.in_publish = false;
    if (rc != MOSQ_ERR_SUCCESS)
        return -1;
    b.lib_pending++;
    return mid;
}

void settle_early(BrokerSide &b)
{
    for (const int mid : b.early_mids)
        confirm(b, mid);
    b.early_mids.clear();
}

void publish_status(BrokerSide &b, int64_t now_us)
{
    const FleetStatus s = current_status(b, true);
    if (publish(b, b.topic_status, fleet_status_encode(s), 1, true) >= 0) {
        b.published = s;
        b.last_status_us = now_us;
        b.status_force = false;
    }
    settle_early(b);
}

// The will says "offline" with the counts as they are at the attempt.
bool on_prepare(void *context, mosquitto *m)
{
    BrokerSide &b = side_of(context);
    const std::string will = fleet_status_encode(current_status(b, false));
    return mosquitto_will_set(m, b.topic_status.c_str(), static_cast<int>(will.size()), will.data(),
                              1, true) == MOSQ_ERR_SUCCESS;
}

bool on_connected(void *context, mosquitto *m)
{
    BrokerSide &b = side_of(context);
    b.status_force = true;
    if (b.options->commands)
        mosquitto_subscribe(m, nullptr, b.topic_command.c_str(), 1);
    return true;
}

void on_over(void *context, bool /*was_connected*/)
{
    BrokerSide &b = side_of(context);
    b.lib_pending = 0;
    ring_unhand_all(b.ring);
}

void on_message(void *context, const mosquitto_message *msg)
{
    BrokerSide &b = side_of(context);
    if (!b.options->commands || b.topic_command != msg->topic)
        return;
    const std::string_view text(static_cast<const char *>(msg->payload),
                                static_cast<size_t>(msg->payloadlen));
    // A retained command would be replayed at every connection: one
    // mistaken retain flag would sweep, and take the primaries down, after
    // every restart. Left on the broker; only live commands count.
    if (msg->retain) {
        fprintf(stderr,
                "rfwatch-mqtt: retained command ignored (only commands published while "
                "connected are passed on; clear it with an empty retained message): %s\n",
                escape_for_log(text, 200).c_str());
        return;
    }
    DaemonCommand cmd{};
    const CommandCheck check = parse_command(text, cmd);
    std::string error = command_error_text(check, CommandKeys::Daemon);
    const std::string json = check.error == CommandError::Ok ? encode_command(cmd) : "";
    if (check.error != CommandError::Ok || !b.command_sink(b.command_context, json, error)) {
        fprintf(stderr, "rfwatch-mqtt: command refused (%s): %s\n", error.c_str(),
                escape_for_log(text, 200).c_str());
        return;
    }
    fprintf(stderr, "rfwatch-mqtt: command passed to rfwatchd: %s\n", json.c_str());
}

void hand_over(BrokerSide &b)
{
    while (b.client.state == BrokerState::Connected && b.lib_pending < BROKER_WINDOW) {
        RingEntry *e = ring_next_to_hand(b.ring);
        if (e == nullptr)
            return;
        const std::string &topic = e->topic == RingTopic::Air ? b.topic_air : b.topic_spectrum;
        const int mid = publish(b, topic, e->payload, b.options->qos, false);
        if (mid < 0) {
            // Not publishable on this broker (too large for it): counted,
            // and out of the way of the rest.
            ring_mark_handed(b.ring, *e, -1);
            ring_confirm(b.ring, -1);
            b.other_dropped++;
        } else {
            ring_mark_handed(b.ring, *e, mid);
        }
        settle_early(b);
    }
}

bool status_due(const BrokerSide &b, int64_t now_us)
{
    if (b.client.state != BrokerState::Connected)
        return false;
    if (b.status_force)
        return true;
    if (now_us - b.last_status_us >= STATUS_REFRESH_US)
        return true;
    const FleetStatus s = current_status(b, true);
    const bool changed = s.lines != b.published.lines || s.dropped != b.published.dropped;
    return changed && now_us - b.last_status_us >= STATUS_MIN_GAP_US;
}

} // namespace

bool broker_init(BrokerSide &b, const MqttOptions &o, std::string password, bool has_password,
                 CommandSink sink, void *context)
{
    b.options = &o;
    b.topic_spectrum = fleet_topic(o.prefix, o.node, o.radio, FleetTopic::Spectrum);
    b.topic_status = fleet_topic(o.prefix, o.node, o.radio, FleetTopic::Status);
    b.topic_command = fleet_topic(o.prefix, o.node, o.radio, FleetTopic::Command);
    b.topic_air = fleet_topic(o.prefix, o.node, o.radio, FleetTopic::Air);
    b.lib_pending = 0;
    b.in_publish = false;
    ring_init(b.ring, o.max_queue);
    b.status = FleetStatus{};
    b.published = FleetStatus{};
    b.other_dropped = 0;
    b.status_force = false;
    b.last_status_us = 0;
    b.command_sink = sink;
    b.command_context = context;
    BrokerSetup setup{"rfwatch-mqtt",
                      o.broker,
                      std::move(password),
                      has_password,
                      o.cafile,
                      o.cert,
                      o.key,
                      o.client_id,
                      BROKER_PACKET_BASE + static_cast<uint32_t>(b.topic_command.size()),
                      BROKER_WINDOW};
    return broker_client_init(b.client, std::move(setup),
                              {on_prepare, on_connected, on_message, on_publish, on_over}, &b);
}

void broker_tick(BrokerSide &b, int64_t now_us)
{
    broker_client_tick(b.client, now_us);
    if (b.client.state != BrokerState::Connected)
        return;
    if (status_due(b, now_us))
        publish_status(b, now_us);
    hand_over(b);
}

int broker_socket(const BrokerSide &b)
{
    return broker_client_socket(b.client);
}

short broker_events(const BrokerSide &b)
{
    return broker_client_poll_events(b.client);
}

void broker_handle(BrokerSide &b, short revents, int64_t now_us)
{
    broker_client_poll_handle(b.client, revents, now_us);
}

int64_t broker_deadline(const BrokerSide &b, int64_t now_us)
{
    int64_t next = broker_client_deadline(b.client, now_us);
    if (b.client.state == BrokerState::Connected && b.status.lines != b.published.lines)
        next = std::min(next, b.last_status_us + STATUS_MIN_GAP_US);
    return next;
}

void broker_offer(BrokerSide &b, std::string_view payload, RingTopic topic)
{
    b.status.lines++;
    ring_push(b.ring, std::span<const char>(payload.data(), payload.size()), topic);
}

void broker_count_unpublishable(BrokerSide &b)
{
    b.status.lines++;
    b.other_dropped++;
}

void broker_set_daemon(BrokerSide &b, bool connected)
{
    if (b.status.daemon_connected == connected)
        return;
    b.status.daemon_connected = connected;
    b.status_force = true;
}

void broker_shutdown(BrokerSide &b)
{
    if (b.client.state == BrokerState::Connected) {
        const std::string offline = fleet_status_encode(current_status(b, false));
        publish(b, b.topic_status, offline, 1, true);
        settle_early(b);
        mosquitto *m = b.client.mosq.get();
        const int64_t until = broker_now_us() + 2000000;
        while (b.lib_pending > 0 && broker_now_us() < until &&
               mosquitto_loop(m, 100, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(m);
        mosquitto_loop_write(m, 1);
    }
    broker_client_stop(b.client);
}
