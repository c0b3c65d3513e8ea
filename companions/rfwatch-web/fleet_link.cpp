#include "fleet_link.h"

#include "frame.h"
#include "server.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <span>
#include <unistd.h>
#include <utility>

const char *const FLEET_PROTOCOL_NAME = "rfwatch-fleet";

namespace
{

constexpr int64_t TICK_US = 1000000;
constexpr int64_t BACKOFF_FIRST_US = 1000000;
constexpr int64_t BACKOFF_MAX_US = 30000000;
// How often the loop looks whether the helper thread has connected.
constexpr int64_t CONNECT_POLL_US = 20000;
// Reads per wake-up: enough to drain what TLS has already decrypted (the
// socket would not wake us for it), bounded so browsers get their turn.
constexpr int READS_PER_WAKE = 256;

// Silence is measured on a clock that setting the time does not move.
int64_t monotonic_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

FleetLink &fleet_of(struct lws *wsi)
{
    return static_cast<WebServer *>(lws_context_user(lws_get_context(wsi)))->fleet;
}

std::string where(const FleetLink &f)
{
    return f.options.broker.host + ":" + std::to_string(f.options.broker.port);
}

// One line per new trouble, not one per retry.
void report(FleetLink &f, const std::string &what)
{
    if (what == f.last_error)
        return;
    f.last_error = what;
    fprintf(stderr, "rfwatch-web: broker %s: %s\n", where(f).c_str(), what.c_str());
}

void on_tick(lws_sorted_usec_list_t *sul);

// The adopted descriptor can only be closed from its own callback: the
// next writable turn does it. Never inside libmosquitto's callbacks either.
void close_soon(FleetLink &f)
{
    f.broken = true;
    if (f.wsi != nullptr)
        lws_callback_on_writable(f.wsi);
}

// Whether this connection is over: refused, lost, or its socket closed
// by libmosquitto (a missed keep-alive).
bool over(const FleetLink &f)
{
    return f.broken || !f.mosq || mosquitto_socket(f.mosq.get()) != f.watched_fd;
}

void on_connect(struct mosquitto *m, void *obj, int rc)
{
    auto &f = *static_cast<FleetLink *>(obj);
    if (rc != 0 && connack_refused_version(f.v5, rc)) {
        // Kept working with an old broker, but then nothing bounds what it
        // sends us: its message_size_limit has to.
        f.v5 = false;
        f.backoff_us = 0;
        report(f, "no MQTT 5: using 3.1.1, which cannot limit the size of what the broker "
                  "sends (set message_size_limit there)");
        close_soon(f);
        return;
    }
    if (rc != 0) {
        const bool login = connack_refused_login(f.v5, rc);
        const char *why = connack_reason(f.v5, rc);
        report(f, login
                      ? "the broker refused the login" +
                            (f.options.broker.user.empty() ? std::string(" (no user given)")
                                                           : " for user " + f.options.broker.user) +
                            " (" + why + ")"
                      : std::string("connection refused (") + why + ")");
        if (login)
            f.backoff_us = BACKOFF_MAX_US; // retried at the slowest pace
        close_soon(f);
        return;
    }
    const std::string spectra = fleet_subscription(f.options.prefix, FleetTopic::Spectrum);
    const std::string statuses = fleet_subscription(f.options.prefix, FleetTopic::Status);
    if (mosquitto_subscribe(m, nullptr, spectra.c_str(), 0) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(m, nullptr, statuses.c_str(), 0) != MOSQ_ERR_SUCCESS) {
        report(f, "cannot subscribe");
        close_soon(f);
        return;
    }
    f.connected = true;
    f.backoff_us = 0;
    if (!f.last_error.empty())
        fprintf(stderr, "rfwatch-web: broker %s: connected\n", where(f).c_str());
    f.last_error.clear();
    server_fleet_changed(*f.server, -1);
}

void on_message(struct mosquitto * /*m*/, void *obj, const struct mosquitto_message *msg)
{
    auto &f = *static_cast<FleetLink *>(obj);
    FleetTopicParts parts{};
    if (msg->topic == nullptr || !fleet_topic_parse(f.options.prefix, msg->topic, parts))
        return;
    FleetAdded how = FleetAdded::Known;
    const int id = fleet_radio_id(f.radios, parts.node, parts.radio, monotonic_us(), &how);
    const bool was_new = how != FleetAdded::Known;
    if (how == FleetAdded::Replaced)
        server_fleet_replaced(*f.server, id);
    const auto *bytes = static_cast<const uint8_t *>(msg->payload);
    const size_t len = msg->payloadlen > 0 ? static_cast<size_t>(msg->payloadlen) : 0;
    if (parts.kind == FleetTopic::Status) {
        FleetRadio &r = f.radios.radios[static_cast<size_t>(id)];
        if (fleet_status_parse(std::string_view(reinterpret_cast<const char *>(bytes), len),
                               r.status)) {
            r.status_known = true;
            server_fleet_changed(*f.server, id);
        } else if (was_new) {
            server_fleet_changed(*f.server, id);
        }
        return;
    }
    if (was_new)
        server_fleet_changed(*f.server, id);
    SpectrumFrame frame;
    const bool json = len > 0 && bytes[0] == '{';
    if (json ? frame_from_line(std::string_view(reinterpret_cast<const char *>(bytes), len), frame)
             : frame_from_bytes(std::span<const uint8_t>(bytes, len), frame))
        server_fleet_frame(*f.server, id, frame);
    else
        f.dropped++;
}

void on_publish(struct mosquitto * /*m*/, void *obj, int /*mid*/)
{
    auto &f = *static_cast<FleetLink *>(obj);
    if (f.in_flight > 0)
        f.in_flight--;
}

void on_disconnect(struct mosquitto * /*m*/, void *obj, int /*rc*/)
{
    auto &f = *static_cast<FleetLink *>(obj);
    if (f.connected)
        report(f, "connection lost");
    close_soon(f);
}

// No callbacks yet: the helper thread that connects must not run ours.
bool set_up_client(FleetLink &f, mosquitto *m)
{
    const FleetOptions &o = f.options;
    if (!o.broker.user.empty() &&
        mosquitto_username_pw_set(m, o.broker.user.c_str(),
                                  o.password.empty() ? nullptr : o.password.c_str()) !=
            MOSQ_ERR_SUCCESS)
        return false;
    if (!o.broker.tls)
        return true;
    if (o.cafile.empty())
        mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    return mosquitto_tls_set(m, o.cafile.empty() ? nullptr : o.cafile.c_str(), nullptr, nullptr,
                             nullptr, nullptr) == MOSQ_ERR_SUCCESS;
}

void retry_later(FleetLink &f)
{
    f.backoff_us =
        f.backoff_us <= 0 ? BACKOFF_FIRST_US : std::min(2 * f.backoff_us, BACKOFF_MAX_US);
    lws_sul_schedule(f.server->context, 0, &f.tick.sul, on_tick, f.backoff_us);
}

void attempt(FleetLink &f)
{
    f.broken = false;
    mosquitto *m = mosquitto_new(nullptr, true, &f);
    if (m == nullptr || !set_up_client(f, m)) {
        report(f, "cannot set up the MQTT client (TLS files?)");
        mosquitto_destroy(m);
        retry_later(f);
        return;
    }
    // The name lookup and (MQTT 5) the TCP handshake block: a helper
    // thread does them while this loop serves the browsers.
    const uint32_t max_packet =
        f.v5 ? FLEET_PACKET_BASE + static_cast<uint32_t>(f.options.prefix.size()) : 0;
    if (!connect_job_start(
            f.job, m,
            {f.options.broker.host, f.options.broker.port, FLEET_KEEPALIVE_S, max_packet})) {
        report(f, "cannot start a thread to connect");
        retry_later(f);
        return;
    }
    lws_sul_schedule(f.server->context, 0, &f.tick.sul, on_tick, CONNECT_POLL_US);
}

// The helper thread is done: watch the connection it made.
void connected_socket(FleetLink &f, mosquitto *m, int rc, int err)
{
    f.mosq.reset(m);
    mosquitto_connect_callback_set(m, on_connect);
    mosquitto_message_callback_set(m, on_message);
    mosquitto_publish_callback_set(m, on_publish);
    mosquitto_disconnect_callback_set(m, on_disconnect);
    const int fd = mosquitto_socket(m);
    if (rc != MOSQ_ERR_SUCCESS || fd < 0) {
        report(f, std::string("cannot connect (") +
                      (rc == MOSQ_ERR_ERRNO ? strerror(err) : mosquitto_strerror(rc)) + ")");
        f.mosq.reset();
        retry_later(f);
        return;
    }
    // lws closes what it adopts; mosquitto closes its own: each gets one.
    lws_sock_file_fd_type desc{};
    desc.filefd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    f.wsi = desc.filefd < 0 ? nullptr
                            : lws_adopt_descriptor_vhost(f.server->vhost, LWS_ADOPT_RAW_FILE_DESC,
                                                         desc, FLEET_PROTOCOL_NAME, nullptr);
    if (f.wsi == nullptr) {
        report(f, "cannot watch the broker connection");
        f.mosq.reset();
        retry_later(f);
        return;
    }
    f.watched_fd = fd;
    lws_callback_on_writable(f.wsi); // the CONNECT packet may wait
    lws_sul_schedule(f.server->context, 0, &f.tick.sul, on_tick, TICK_US);
}

void on_radio_gone(void *context, int id)
{
    server_fleet_changed(*static_cast<WebServer *>(context), id);
}

void on_tick(lws_sorted_usec_list_t *sul)
{
    FleetLink &f = *lws_container_of(sul, FleetTimer, sul)->owner;
    if (f.stopping)
        return;
    fleet_radios_expire(f.radios, monotonic_us(), on_radio_gone, f.server);
    if (connect_job_pending(f.job)) {
        mosquitto *m = nullptr;
        int rc = 0, err = 0;
        if (connect_job_take(f.job, &m, &rc, &err))
            connected_socket(f, m, rc, err);
        else
            lws_sul_schedule(f.server->context, 0, &f.tick.sul, on_tick, CONNECT_POLL_US);
        return;
    }
    if (!f.mosq) {
        attempt(f);
        return;
    }
    mosquitto_loop_misc(f.mosq.get()); // keep-alive
    if (over(f))
        close_soon(f);
    else if (mosquitto_want_write(f.mosq.get()))
        lws_callback_on_writable(f.wsi);
    lws_sul_schedule(f.server->context, 0, &f.tick.sul, on_tick, TICK_US);
}

// -1: the connection is over (lws then closes our descriptor).
int on_readable(FleetLink &f)
{
    for (int i = 0; i < READS_PER_WAKE; i++) {
        if (over(f))
            return -1;
        // libmosquitto reports "nothing more to read" only through errno.
        errno = 0;
        const int rc = mosquitto_loop_read(f.mosq.get(), 1);
        if (rc == MOSQ_ERR_TLS)
            report(f, "TLS failed: is the broker's certificate trusted (--cafile)?");
        if (rc != MOSQ_ERR_SUCCESS || over(f))
            return -1;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            break;
    }
    if (mosquitto_want_write(f.mosq.get()))
        lws_callback_on_writable(f.wsi);
    return 0;
}

int on_writable(FleetLink &f)
{
    if (over(f))
        return -1;
    const int rc = mosquitto_loop_write(f.mosq.get(), 1);
    if (rc == MOSQ_ERR_TLS)
        report(f, "TLS failed: is the broker's certificate trusted (--cafile)?");
    if (rc != MOSQ_ERR_SUCCESS || over(f))
        return -1;
    if (mosquitto_want_write(f.mosq.get()))
        lws_callback_on_writable(f.wsi);
    return 0;
}

void on_closed(FleetLink &f)
{
    f.wsi = nullptr;
    f.watched_fd = -1;
    const bool was_connected = f.connected;
    f.connected = false;
    f.in_flight = 0;
    f.mosq.reset();
    if (f.stopping)
        return;
    if (was_connected)
        server_fleet_changed(*f.server, -1);
    retry_later(f);
}

} // namespace

void fleet_start(FleetLink &f, WebServer &server, FleetOptions options)
{
    f.server = &server;
    f.options = std::move(options);
    f.tick = {{}, &f};
    mosquitto_lib_init();
    attempt(f);
}

void fleet_stop(FleetLink &f)
{
    f.stopping = true;
    connect_job_abandon(f.job);
    lws_sul_cancel(&f.tick.sul);
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
    if (mosquitto_publish(f.mosq.get(), nullptr, topic.c_str(), static_cast<int>(json.size()),
                          json.data(), 1, false) != MOSQ_ERR_SUCCESS) {
        error = "the broker connection failed; the command was not sent";
        return false;
    }
    f.in_flight++;
    lws_callback_on_writable(f.wsi);
    return true;
}

bool fleet_radio_connected(const FleetLink &f, int radio)
{
    return f.connected && radio >= 0 && static_cast<size_t>(radio) < f.radios.radios.size() &&
           fleet_radio_live(f.radios.radios[static_cast<size_t>(radio)]);
}

int fleet_callback(struct lws *wsi, enum lws_callback_reasons reason, void * /*user*/,
                   void * /*in*/, size_t /*len*/)
{
    switch (reason) {
    case LWS_CALLBACK_RAW_RX_FILE:
        return on_readable(fleet_of(wsi));
    case LWS_CALLBACK_RAW_WRITEABLE_FILE:
        return on_writable(fleet_of(wsi));
    case LWS_CALLBACK_RAW_CLOSE_FILE:
        on_closed(fleet_of(wsi));
        return 0;
    default:
        return 0;
    }
}
