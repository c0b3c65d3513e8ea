// SPDX-License-Identifier: MIT
#include "mqtt_source.h"

#include "fleet_contract.h"


namespace
{

MqttSource &source_of(void *context)
{
    return *static_cast<MqttSource *>(context);
}

bool on_connected(void *context, mosquitto *m)
{
    MqttSource &s = source_of(context);
    if (mosquitto_subscribe(m, nullptr, s.topic_spectrum.c_str(), 0) != MOSQ_ERR_SUCCESS)
        return false;
    if (!s.topic_air.empty() &&
        mosquitto_subscribe(m, nullptr, s.topic_air.c_str(), 0) != MOSQ_ERR_SUCCESS)
        return false;
    s.sink.broker(s.sink.context, true);
    return true;
}

void on_message(void *context, const mosquitto_message *msg)
{
    MqttSource &s = source_of(context);
    const std::span<const uint8_t> payload(static_cast<const uint8_t *>(msg->payload),
                                           static_cast<size_t>(msg->payloadlen));
    bool ok = false;
    if (s.topic_spectrum == msg->topic) {
        ok = line_of_spectrum_payload(payload, s.frame, s.line);
    } else if (!s.topic_air.empty() && s.topic_air == msg->topic) {
        s.line.assign(reinterpret_cast<const char *>(payload.data()), payload.size());
        ok = !payload.empty() && payload[0] == '{';
    } else {
        return; // not ours
    }
    // A line is one line: a payload with a line feed would become two.
    if (ok && s.line.find('\n') == std::string::npos)
        s.sink.line(s.sink.context, s.line);
    else
        s.sink.refused(s.sink.context);
}

void on_published(void * /*context*/, int /*mid*/) {}

void on_over(void *context, bool was_connected)
{
    MqttSource &s = source_of(context);
    if (was_connected)
        s.sink.broker(s.sink.context, false);
}

} // namespace

bool line_of_spectrum_payload(std::span<const uint8_t> payload, SpectrumFrame &frame,
                              std::string &out)
{
    if (!payload.empty() && payload[0] == '{') {
        out.assign(reinterpret_cast<const char *>(payload.data()), payload.size());
        return true;
    }
    if (!frame_from_bytes(payload, frame))
        return false;
    spectrum_line_text(frame, out);
    return true;
}

bool mqtt_source_init(MqttSource &m, MqttSourceSetup setup, MqttSourceSink sink)
{
    // The topic was checked as P/NODE/RADIO: the leaves are the fleet's.
    const size_t last = setup.topic.rfind('/');
    const size_t node = setup.topic.rfind('/', last - 1);
    const std::string prefix = setup.topic.substr(0, node);
    const std::string node_name = setup.topic.substr(node + 1, last - node - 1);
    const std::string radio = setup.topic.substr(last + 1);
    m.topic_spectrum = fleet_topic(prefix, node_name, radio, FleetTopic::Spectrum);
    m.topic_air = setup.air ? fleet_topic(prefix, node_name, radio, FleetTopic::Air) : "";
    m.sink = sink;
    BrokerSetup b{"rfwatch-record",
                  setup.broker,
                  std::move(setup.password),
                  setup.has_password,
                  setup.cafile,
                  "",
                  "",
                  "",
                  MQTT_SOURCE_MAX_PACKET,
                  0};
    return broker_client_init(m.client, std::move(b),
                              {nullptr, on_connected, on_message, on_published, on_over}, &m);
}

void mqtt_source_tick(MqttSource &m, int64_t now_us)
{
    broker_client_tick(m.client, now_us);
}

int mqtt_source_socket(const MqttSource &m)
{
    return broker_client_socket(m.client);
}

short mqtt_source_events(const MqttSource &m)
{
    return broker_client_poll_events(m.client);
}

void mqtt_source_handle(MqttSource &m, short revents, int64_t now_us)
{
    broker_client_poll_handle(m.client, revents, now_us);
}

int64_t mqtt_source_deadline(const MqttSource &m, int64_t now_us)
{
    return broker_client_deadline(m.client, now_us);
}

void mqtt_source_stop(MqttSource &m)
{
    broker_client_stop(m.client);
}
