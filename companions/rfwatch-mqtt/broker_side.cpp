#include "broker_side.h"

#include "clock.h"
#include "command.h"
#include "log_escape.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>

namespace
{

// One line per kind of failure, not one per attempt.
void report(BrokerSide &b, const std::string &line)
{
    if (line == b.last_reported)
        return;
    fprintf(stderr, "rfwatch-mqtt: %s\n", line.c_str());
    b.last_reported = line;
}

std::string where(const BrokerSide &b)
{
    return b.options->broker.host + ":" + std::to_string(b.options->broker.port);
}

MqttStatus current_status(const BrokerSide &b, bool online)
{
    MqttStatus s = b.status;
    s.online = online;
    s.dropped = b.ring.dropped + b.other_dropped;
    return s;
}

BrokerSide &side_of(void *obj)
{
    return *static_cast<BrokerSide *>(obj);
}

void confirm(BrokerSide &b, int mid)
{
    b.lib_pending--;
    ring_confirm(b.ring, mid);
}

void on_publish(mosquitto * /*m*/, void *obj, int mid)
{
    BrokerSide &b = side_of(obj);
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
    const int rc = mosquitto_publish(b.mosq.get(), &mid, topic.c_str(),
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
    const MqttStatus s = current_status(b, true);
    if (publish(b, b.topic_status, status_json(s), 1, true) >= 0) {
        b.published = s;
        b.last_status_us = now_us;
        b.status_force = false;
    }
    settle_early(b);
}

void on_connect(mosquitto *m, void *obj, int rc)
{
    BrokerSide &b = side_of(obj);
    if (rc != 0 && connack_refused_version(b.v5, rc)) {
        // Kept working with an old broker, but then nothing bounds what it
        // sends us: its message_size_limit has to.
        b.v5 = false;
        b.version_refused = true;
        report(b, "broker " + where(b) +
                      " does not speak MQTT 5: using 3.1.1, which cannot limit the size of "
                      "what the broker sends (set message_size_limit there)");
        return;
    }
    if (rc != 0) {
        b.auth_refused = connack_refused_login(b.v5, rc);
        const std::string who = b.options->broker.user.empty()
                                    ? std::string("an anonymous login")
                                    : "the login for user " + b.options->broker.user;
        report(b, "broker " + where(b) + " refused " + who + " (" + connack_reason(b.v5, rc) + ")");
        return;
    }
    b.state = BrokerState::Connected;
    b.backoff_us = 0;
    b.last_reported.clear();
    fprintf(stderr, "rfwatch-mqtt: connected to the broker at %s\n", where(b).c_str());
    b.status_force = true;
    if (b.options->commands)
        mosquitto_subscribe(m, nullptr, b.topic_command.c_str(), 1);
}

void on_message(mosquitto * /*m*/, void *obj, const mosquitto_message *msg)
{
    BrokerSide &b = side_of(obj);
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

void on_log(mosquitto * /*m*/, void *obj, int level, const char *text)
{
    if (level == MOSQ_LOG_ERR && text != nullptr)
        side_of(obj).log_error = text;
}

// An OpenSSL error line ("OpenSSL Error[0]: error:0A000086:SSL
// routines::certificate verify failed") without its codes.
std::string tls_reason(const std::string &log_error)
{
    const size_t colons = log_error.rfind("::");
    if (colons != std::string::npos)
        return log_error.substr(colons + 2);
    return log_error.empty() ? "handshake failed" : log_error;
}

void attempt_over(BrokerSide &b, int64_t now_us, int rc)
{
    const bool was_connected = b.state == BrokerState::Connected;
    if (rc == MOSQ_ERR_TLS) {
        const std::string reason = tls_reason(b.log_error);
        if (reason.find("certificate verify failed") != std::string::npos)
            report(b, "TLS: certificate of " + b.options->broker.host + " not trusted (" + reason +
                          ")");
        else
            report(b, "TLS with " + where(b) + " failed (" + reason + ")");
    } else if (!b.auth_refused && !b.version_refused) {
        const char *why = rc == MOSQ_ERR_ERRNO ? strerror(errno) : mosquitto_strerror(rc);
        report(b,
               std::string(was_connected ? "lost the broker at " : "cannot reach the broker at ") +
                   where(b) + " (" + why + "); retrying");
    }
    b.mosq.reset();
    b.state = BrokerState::Idle;
    b.lib_pending = 0;
    ring_unhand_all(b.ring);
    // A refused login will not succeed sooner for being retried sooner.
    b.backoff_us = b.auth_refused ? BACKOFF_MAX_US : backoff_next(b.backoff_us);
    b.next_attempt_us = b.version_refused ? now_us : now_us + b.backoff_us;
}

// An encrypted key would make OpenSSL prompt on the terminal: refuse it.
int no_key_password(char * /*buf*/, int /*size*/, int /*rwflag*/, void * /*userdata*/)
{
    return 0;
}

bool configure_tls(BrokerSide &b, mosquitto *m)
{
    const MqttOptions &o = *b.options;
    const char *cafile = o.cafile.empty() ? nullptr : o.cafile.c_str();
    // Without --cafile the system's trusted authorities verify the broker.
    const char *capath = cafile == nullptr ? "/etc/ssl/certs" : nullptr;
    if (cafile == nullptr)
        mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    const int rc = mosquitto_tls_set(m, cafile, capath, o.cert.empty() ? nullptr : o.cert.c_str(),
                                     o.key.empty() ? nullptr : o.key.c_str(), no_key_password);
    if (rc != MOSQ_ERR_SUCCESS) {
        report(b, std::string("TLS set-up failed (") + mosquitto_strerror(rc) + ")");
        return false;
    }
    return true;
}

mosquitto *new_client(BrokerSide &b)
{
    const MqttOptions &o = *b.options;
    mosquitto *m = mosquitto_new(o.client_id.c_str(), true, &b);
    if (m == nullptr)
        return nullptr;
    // No callbacks yet: the helper thread must not run ours.
    mosquitto_max_inflight_messages_set(m, BROKER_WINDOW);
    // Each spectrum is one message that someone is watching for: Nagle's
    // wait for an acknowledgement would hold it back tens of milliseconds.
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    const std::string will = status_json(current_status(b, false));
    bool ok = mosquitto_will_set(m, b.topic_status.c_str(), static_cast<int>(will.size()),
                                 will.data(), 1, true) == MOSQ_ERR_SUCCESS;
    if (ok && !o.broker.user.empty())
        ok = mosquitto_username_pw_set(m, o.broker.user.c_str(),
                                       b.has_password ? b.password.c_str() : nullptr) ==
             MOSQ_ERR_SUCCESS;
    if (ok && o.broker.tls)
        ok = configure_tls(b, m);
    if (!ok) {
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

void start_attempt(BrokerSide &b, int64_t now_us)
{
    b.auth_refused = false;
    b.version_refused = false;
    b.log_error.clear();
    mosquitto *m = new_client(b);
    const ConnectTarget target{
        b.options->broker.host, b.options->broker.port, BROKER_KEEPALIVE_S,
        b.v5 ? BROKER_PACKET_BASE + static_cast<uint32_t>(b.topic_command.size()) : 0};
    if (m == nullptr || !connect_job_start(b.job, m, target)) {
        attempt_over(b, now_us, MOSQ_ERR_NOMEM);
        return;
    }
    b.state = BrokerState::Starting;
}

// The helper thread is done: the client is ours again.
void connect_finished(BrokerSide &b, mosquitto *m, int rc, int err, int64_t now_us)
{
    b.mosq.reset(m);
    mosquitto_connect_callback_set(m, on_connect);
    mosquitto_publish_callback_set(m, on_publish);
    mosquitto_message_callback_set(m, on_message);
    mosquitto_log_callback_set(m, on_log);
    errno = err;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m) < 0) {
        attempt_over(b, now_us, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_NO_CONN : rc);
        return;
    }
    b.state = BrokerState::Connecting;
}

void hand_over(BrokerSide &b)
{
    while (b.state == BrokerState::Connected && b.lib_pending < BROKER_WINDOW) {
        RingEntry *e = ring_next_to_hand(b.ring);
        if (e == nullptr)
            return;
        const int mid = publish(b, b.topic_spectrum, e->payload, b.options->qos, false);
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
    if (b.state != BrokerState::Connected)
        return false;
    if (b.status_force)
        return true;
    if (now_us - b.last_status_us >= STATUS_REFRESH_US)
        return true;
    const MqttStatus s = current_status(b, true);
    const bool changed = s.lines != b.published.lines || s.dropped != b.published.dropped;
    return changed && now_us - b.last_status_us >= STATUS_MIN_GAP_US;
}

} // namespace

bool broker_init(BrokerSide &b, const MqttOptions &o, std::string password, bool has_password,
                 CommandSink sink, void *context)
{
    b.options = &o;
    b.password = std::move(password);
    b.has_password = has_password;
    b.topic_spectrum = topic_of(o, Topic::Spectrum);
    b.topic_status = topic_of(o, Topic::Status);
    b.topic_command = topic_of(o, Topic::Command);
    b.state = BrokerState::Idle;
    b.v5 = true;
    b.next_attempt_us = 0;
    b.backoff_us = 0;
    b.auth_refused = false;
    b.version_refused = false;
    b.lib_pending = 0;
    b.in_publish = false;
    ring_init(b.ring, o.max_queue);
    b.status = MqttStatus{};
    b.published = MqttStatus{};
    b.other_dropped = 0;
    b.status_force = false;
    b.last_status_us = 0;
    b.command_sink = sink;
    b.command_context = context;
    return mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
}

void broker_tick(BrokerSide &b, int64_t now_us)
{
    if (b.state == BrokerState::Idle) {
        if (now_us >= b.next_attempt_us)
            start_attempt(b, now_us);
        return;
    }
    if (b.state == BrokerState::Starting) {
        mosquitto *m = nullptr;
        int rc = 0, err = 0;
        if (connect_job_take(b.job, &m, &rc, &err))
            connect_finished(b, m, rc, err, now_us);
        return;
    }
    const int rc = mosquitto_loop_misc(b.mosq.get());
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(b.mosq.get()) < 0) {
        attempt_over(b, now_us, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc);
        return;
    }
    if (status_due(b, now_us))
        publish_status(b, now_us);
    hand_over(b);
}

int broker_socket(const BrokerSide &b)
{
    return b.mosq ? mosquitto_socket(b.mosq.get()) : -1;
}

short broker_events(const BrokerSide &b)
{
    if (!b.mosq)
        return 0;
    return static_cast<short>(POLLIN | (mosquitto_want_write(b.mosq.get()) ? POLLOUT : 0));
}

void broker_handle(BrokerSide &b, short revents, int64_t now_us)
{
    if (!b.mosq || revents == 0)
        return;
    int rc = MOSQ_ERR_SUCCESS;
    if (revents & (POLLIN | POLLHUP | POLLERR))
        rc = mosquitto_loop_read(b.mosq.get(), 1);
    if (rc == MOSQ_ERR_SUCCESS && b.mosq && (revents & POLLOUT))
        rc = mosquitto_loop_write(b.mosq.get(), 1);
    if (rc != MOSQ_ERR_SUCCESS || b.auth_refused || b.version_refused)
        attempt_over(b, now_us, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_REFUSED : rc);
}

int64_t broker_deadline(const BrokerSide &b, int64_t now_us)
{
    if (b.state == BrokerState::Idle)
        return b.next_attempt_us;
    if (b.state == BrokerState::Starting)
        return now_us + CONNECT_POLL_US;
    // loop_misc keeps the connection alive; once a second is plenty.
    int64_t next = now_us + 1000000;
    if (b.state == BrokerState::Connected && b.status.lines != b.published.lines)
        next = std::min(next, b.last_status_us + STATUS_MIN_GAP_US);
    return next;
}

void broker_offer(BrokerSide &b, std::string_view payload)
{
    b.status.lines++;
    ring_push(b.ring, std::span<const char>(payload.data(), payload.size()));
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
    if (b.state == BrokerState::Connected) {
        const std::string offline = status_json(current_status(b, false));
        publish(b, b.topic_status, offline, 1, true);
        settle_early(b);
        const int64_t until = monotonic_us() + 2000000;
        while (b.lib_pending > 0 && monotonic_us() < until &&
               mosquitto_loop(b.mosq.get(), 100, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(b.mosq.get());
        mosquitto_loop_write(b.mosq.get(), 1);
    }
    const bool thread_busy = connect_job_pending(b.job);
    connect_job_abandon(b.job);
    b.mosq.reset();
    b.state = BrokerState::Idle;
    // A helper thread still inside libmosquitto: leave the library as it is.
    if (!thread_busy)
        mosquitto_lib_cleanup();
}
