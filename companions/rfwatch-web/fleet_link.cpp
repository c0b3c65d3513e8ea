// SPDX-License-Identifier: MIT
#include "fleet_link.h"

#include "air_line.h"
#include "frame.h"
#include "server.h"

#include <span>
#include <utility>

namespace
{

// How often radios silent too long are looked for.
constexpr int64_t EXPIRY_US = 1000000;

FleetLink &fleet_of(void *context)
{
    return *static_cast<FleetLink *>(context);
}

bool on_connected(void *context, mosquitto *m)
{
    FleetLink &f = fleet_of(context);
    const std::string spectra = fleet_subscription(f.options.prefix, FleetTopic::Spectrum);
    const std::string statuses = fleet_subscription(f.options.prefix, FleetTopic::Status);
    const std::string airs = fleet_subscription(f.options.prefix, FleetTopic::Air);
    if (mosquitto_subscribe(m, nullptr, spectra.c_str(), 0) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(m, nullptr, statuses.c_str(), 0) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(m, nullptr, airs.c_str(), 0) != MOSQ_ERR_SUCCESS)
        return false;
    f.connected = true;
    server_radio_changed(*f.server, -1);
    return true;
}

// Kept for the radio's entry in the list, and passed whole to the pages
// that show the radio.
void on_air(FleetLink &f, int id, std::string_view text)
{
    AirLine air;
    if (!parse_air_line(text, air)) {
        f.dropped++;
        return;
    }
    fleet_air_note(f.radios.radios[static_cast<size_t>(id)].air, air, broker_now_us());
    server_radio_air(*f.server, id, text, air);
}

void on_message(void *context, const mosquitto_message *msg)
{
    FleetLink &f = fleet_of(context);
    FleetTopicParts parts{};
    if (msg->topic == nullptr || !fleet_topic_parse(f.options.prefix, msg->topic, parts))
        return;
    FleetAdded how = FleetAdded::Known;
    const int id = fleet_radio_id(f.radios, parts.node, parts.radio, broker_now_us(), &how);
    const bool was_new = how != FleetAdded::Known;
    if (how == FleetAdded::Replaced)
        server_radio_replaced(*f.server, id);
    const auto *bytes = static_cast<const uint8_t *>(msg->payload);
    const size_t len = msg->payloadlen > 0 ? static_cast<size_t>(msg->payloadlen) : 0;
    const std::string_view text(reinterpret_cast<const char *>(bytes), len);
    if (parts.kind == FleetTopic::Status) {
        FleetRadio &r = f.radios.radios[static_cast<size_t>(id)];
        const bool read = fleet_status_parse(text, r.status);
        r.status_known = r.status_known || read;
        if (read || was_new)
            server_radio_changed(*f.server, id);
        return;
    }
    if (was_new)
        server_radio_changed(*f.server, id);
    if (parts.kind == FleetTopic::Air) {
        on_air(f, id, text);
        return;
    }
    SpectrumFrame frame;
    const bool json = len > 0 && bytes[0] == '{';
    if (json ? frame_from_line(text, frame)
             : frame_from_bytes(std::span<const uint8_t>(bytes, len), frame))
        server_radio_frame(*f.server, id, frame);
    else
        f.dropped++;
}

void on_published(void *context, int /*mid*/)
{
    FleetLink &f = fleet_of(context);
    if (f.in_flight > 0)
        f.in_flight--;
}

void on_over(void *context, bool was_connected)
{
    FleetLink &f = fleet_of(context);
    f.connected = false;
    f.in_flight = 0;
    if (was_connected)
        server_radio_changed(*f.server, -1);
}

void on_radio_gone(void *context, int id)
{
    server_radio_changed(*static_cast<WebServer *>(context), id);
}

int on_expiry(LwsWatch &w, LwsWatchEvent /*timer: it watches no descriptor*/)
{
    FleetLink &f = *static_cast<FleetLink *>(w.owner);
    fleet_radios_expire(f.radios, broker_now_us(), on_radio_gone, f.server);
    lws_watch_schedule(w, EXPIRY_US);
    return 0;
}

} // namespace

void fleet_start(FleetLink &f, WebServer &server, FleetOptions options)
{
    f.server = &server;
    f.options = std::move(options);
    const FleetOptions &o = f.options;
    BrokerSetup setup{"rfwatch-web",
                      o.broker,
                      o.password,
                      !o.password.empty(),
                      o.cafile,
                      {},
                      {},
                      {},
                      FLEET_PACKET_BASE + static_cast<uint32_t>(o.prefix.size()),
                      0};
    broker_client_init(f.client, std::move(setup),
                       {nullptr, on_connected, on_message, on_published, on_over}, &f);
    broker_lws_start(f.loop, f.client, server.context, server.vhost);
    lws_watch_init(f.expiry, on_expiry, &f, server.context, server.vhost);
    lws_watch_schedule(f.expiry, EXPIRY_US);
}

void fleet_stop(FleetLink &f)
{
    if (f.server == nullptr)
        return; // not in fleet mode
    lws_watch_stop(f.expiry);
    broker_lws_stop(f.loop);
}

bool fleet_submit(FleetLink &f, int radio, std::string_view json, std::string &error)
{
    if (radio < 0 || static_cast<size_t>(radio) >= f.radios.radios.size()) {
        error = "choose a radio first";
        return false;
    }
    if (!f.connected) {
        error = "the broker is not reachable; the command was not sent";
        return false;
    }
    if (f.in_flight >= FLEET_COMMANDS_IN_FLIGHT) {
        error = "too many commands waiting; try again in a moment";
        return false;
    }
    const FleetRadio &r = f.radios.radios[static_cast<size_t>(radio)];
    const std::string topic = fleet_topic(f.options.prefix, r.node, r.radio, FleetTopic::Command);
    if (mosquitto_publish(f.client.mosq.get(), nullptr, topic.c_str(),
                          static_cast<int>(json.size()), json.data(), 1,
                          false) != MOSQ_ERR_SUCCESS) {
        error = "the broker connection failed; the command was not sent";
        return false;
    }
    f.in_flight++;
    broker_lws_flush(f.loop);
    return true;
}

bool fleet_radio_connected(const FleetLink &f, int radio)
{
    return f.connected && radio >= 0 && static_cast<size_t>(radio) < f.radios.radios.size() &&
           fleet_radio_live(f.radios.radios[static_cast<size_t>(radio)]);
}
