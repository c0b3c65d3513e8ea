// SPDX-License-Identifier: MIT
#include "broker_client.h"

#include <cerrno>
#include <poll.h>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

// Reads per wake-up: enough to drain what TLS has already decrypted (the
// socket would not wake us for it), bounded so the loop's other work gets
// its turn.
constexpr int READS_PER_WAKE = 256;

BrokerClient &client_of(void *obj)
{
    return *static_cast<BrokerClient *>(obj);
}

void on_connect(mosquitto *m, void *obj, int rc)
{
    BrokerClient &c = client_of(obj);
    if (rc != 0 && connack_refused_version(c.v5, rc)) {
        // Kept working with an old broker, but then nothing bounds what it
        // sends us: its message_size_limit has to.
        c.v5 = false;
        c.version_refused = true;
        broker_client_report(c, "broker " + broker_client_where(c) +
                                    " does not speak MQTT 5: using 3.1.1, which cannot limit the "
                                    "size of what the broker sends (set message_size_limit there)");
        return;
    }
    if (rc != 0) {
        c.auth_refused = connack_refused_login(c.v5, rc);
        c.refused = true;
        const std::string who = c.setup.broker.user.empty()
                                    ? std::string("an anonymous login")
                                    : "the login for user " + c.setup.broker.user;
        broker_client_report(c, "broker " + broker_client_where(c) + " refused " +
                                    (c.auth_refused ? who : std::string("the connection")) + " (" +
                                    connack_reason(c.v5, rc) + ")");
        return;
    }
    if (!c.events.connected(c.context, m)) {
        c.refused = true;
        broker_client_report(c, "broker " + broker_client_where(c) + ": cannot subscribe");
        return;
    }
    c.state = BrokerState::Connected;
    c.backoff_us = 0;
    c.last_reported.clear();
    fprintf(stderr, "%s: connected to the broker at %s\n", c.setup.program,
            broker_client_where(c).c_str());
}

void on_message(mosquitto * /*m*/, void *obj, const mosquitto_message *msg)
{
    BrokerClient &c = client_of(obj);
    c.events.message(c.context, msg);
}

void on_publish(mosquitto * /*m*/, void *obj, int mid)
{
    BrokerClient &c = client_of(obj);
    c.events.published(c.context, mid);
}

void on_log(mosquitto * /*m*/, void *obj, int level, const char *text)
{
    if (level == MOSQ_LOG_ERR && text != nullptr)
        client_of(obj).log_error = text;
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

void attempt_over(BrokerClient &c, int64_t now_us, int rc)
{
    const bool was_connected = c.state == BrokerState::Connected;
    const std::string where = broker_client_where(c);
    if (rc == MOSQ_ERR_TLS) {
        const std::string reason = tls_reason(c.log_error);
        if (reason.find("certificate verify failed") != std::string::npos)
            broker_client_report(c, "TLS: certificate of " + c.setup.broker.host +
                                        " not trusted (" + reason + ")");
        else
            broker_client_report(c, "TLS with " + where + " failed (" + reason + ")");
    } else if (!c.refused && !c.version_refused) {
        const char *why = rc == MOSQ_ERR_ERRNO ? strerror(errno) : mosquitto_strerror(rc);
        broker_client_report(
            c, std::string(was_connected ? "lost the broker at " : "cannot reach the broker at ") +
                   where + " (" + why + "); retrying");
    }
    c.mosq.reset();
    c.state = BrokerState::Idle;
    // A refused login will not succeed sooner for being retried sooner.
    c.backoff_us = c.auth_refused ? BROKER_BACKOFF_MAX_US : broker_backoff_next(c.backoff_us);
    c.next_attempt_us = c.version_refused ? now_us : now_us + c.backoff_us;
    c.events.over(c.context, was_connected);
}

// An encrypted key would make OpenSSL prompt on the terminal: refuse it.
int no_key_password(char * /*buf*/, int /*size*/, int /*rwflag*/, void * /*userdata*/)
{
    return 0;
}

bool configure_tls(BrokerClient &c, mosquitto *m)
{
    const BrokerSetup &s = c.setup;
    const char *cafile = s.cafile.empty() ? nullptr : s.cafile.c_str();
    // Without a CA file the system's trusted authorities verify the broker.
    const char *capath = cafile == nullptr ? "/etc/ssl/certs" : nullptr;
    if (cafile == nullptr)
        mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    const int rc = mosquitto_tls_set(m, cafile, capath, s.cert.empty() ? nullptr : s.cert.c_str(),
                                     s.key.empty() ? nullptr : s.key.c_str(), no_key_password);
    if (rc != MOSQ_ERR_SUCCESS) {
        broker_client_report(c, std::string("TLS set-up failed (") + mosquitto_strerror(rc) + ")");
        return false;
    }
    return true;
}

// No callbacks yet: the helper thread must not run ours.
mosquitto *new_client(BrokerClient &c)
{
    const BrokerSetup &s = c.setup;
    mosquitto *m = mosquitto_new(s.client_id.empty() ? nullptr : s.client_id.c_str(), true, &c);
    if (m == nullptr)
        return nullptr;
    if (s.max_inflight > 0)
        mosquitto_max_inflight_messages_set(m, static_cast<unsigned>(s.max_inflight));
    // Each message is one someone is waiting for: Nagle's wait for an
    // acknowledgement would hold it back tens of milliseconds.
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    bool ok = c.events.prepare == nullptr || c.events.prepare(c.context, m);
    if (ok && !s.broker.user.empty())
        ok = mosquitto_username_pw_set(m, s.broker.user.c_str(),
                                       s.has_password ? s.password.c_str() : nullptr) ==
             MOSQ_ERR_SUCCESS;
    if (ok && s.broker.tls)
        ok = configure_tls(c, m);
    if (!ok) {
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

void start_attempt(BrokerClient &c, int64_t now_us)
{
    c.auth_refused = false;
    c.version_refused = false;
    c.refused = false;
    c.log_error.clear();
    c.attempt++;
    mosquitto *m = new_client(c);
    const ConnectTarget target{c.setup.broker.host, c.setup.broker.port, BROKER_KEEPALIVE_S,
                               c.v5 ? c.setup.max_packet : 0};
    if (m == nullptr || !connect_job_start(c.job, m, target)) {
        attempt_over(c, now_us, MOSQ_ERR_NOMEM);
        return;
    }
    c.state = BrokerState::Starting;
}

// The helper thread is done: the client is ours again.
void connect_finished(BrokerClient &c, mosquitto *m, int rc, int err, int64_t now_us)
{
    c.mosq.reset(m);
    mosquitto_connect_callback_set(m, on_connect);
    mosquitto_publish_callback_set(m, on_publish);
    mosquitto_message_callback_set(m, on_message);
    mosquitto_log_callback_set(m, on_log);
    errno = err;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m) < 0) {
        attempt_over(c, now_us, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_NO_CONN : rc);
        return;
    }
    c.state = BrokerState::Connecting;
}

} // namespace

int64_t broker_now_us()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t broker_backoff_next(int64_t current_us)
{
    if (current_us <= 0)
        return BROKER_BACKOFF_FIRST_US;
    return current_us >= BROKER_BACKOFF_MAX_US / 2 ? BROKER_BACKOFF_MAX_US : current_us * 2;
}

bool broker_client_init(BrokerClient &c, BrokerSetup setup, BrokerEvents events, void *context)
{
    c.setup = std::move(setup);
    c.events = events;
    c.context = context;
    c.v5 = true;
    c.state = BrokerState::Idle;
    c.next_attempt_us = 0;
    c.backoff_us = 0;
    c.auth_refused = c.version_refused = c.refused = false;
    c.attempt = 0;
    return mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
}

void broker_client_tick(BrokerClient &c, int64_t now_us)
{
    if (c.state == BrokerState::Idle) {
        if (now_us >= c.next_attempt_us)
            start_attempt(c, now_us);
        return;
    }
    if (c.state == BrokerState::Starting) {
        mosquitto *m = nullptr;
        int rc = 0, err = 0;
        if (connect_job_take(c.job, &m, &rc, &err))
            connect_finished(c, m, rc, err, now_us);
        return;
    }
    const int rc = mosquitto_loop_misc(c.mosq.get());
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(c.mosq.get()) < 0)
        attempt_over(c, now_us, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc);
}

int64_t broker_client_deadline(const BrokerClient &c, int64_t now_us)
{
    if (c.state == BrokerState::Idle)
        return c.next_attempt_us;
    if (c.state == BrokerState::Starting)
        return now_us + BROKER_CONNECT_POLL_US;
    // loop_misc keeps the connection alive; once a second is plenty.
    return now_us + 1000000;
}

int broker_client_socket(const BrokerClient &c)
{
    return c.mosq ? mosquitto_socket(c.mosq.get()) : -1;
}

bool broker_client_wants_write(const BrokerClient &c)
{
    return c.mosq && mosquitto_want_write(c.mosq.get());
}

void broker_client_io(BrokerClient &c, bool readable, bool writable, int64_t now_us)
{
    if (!c.mosq)
        return;
    int rc = MOSQ_ERR_SUCCESS;
    for (int i = 0; readable && i < READS_PER_WAKE && rc == MOSQ_ERR_SUCCESS; i++) {
        // libmosquitto reports "nothing more to read" only through errno.
        errno = 0;
        rc = mosquitto_loop_read(c.mosq.get(), 1);
        if (errno == EAGAIN || errno == EWOULDBLOCK || c.refused || c.version_refused)
            break;
    }
    if (rc == MOSQ_ERR_SUCCESS && writable)
        rc = mosquitto_loop_write(c.mosq.get(), 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(c.mosq.get()) < 0)
        rc = MOSQ_ERR_CONN_LOST;
    if (rc != MOSQ_ERR_SUCCESS || c.refused || c.version_refused)
        attempt_over(c, now_us, rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_REFUSED : rc);
}

short broker_client_poll_events(const BrokerClient &c)
{
    if (broker_client_socket(c) < 0)
        return 0;
    return static_cast<short>(POLLIN | (broker_client_wants_write(c) ? POLLOUT : 0));
}

void broker_client_poll_handle(BrokerClient &c, short revents, int64_t now_us)
{
    if (revents != 0)
        broker_client_io(c, (revents & (POLLIN | POLLHUP | POLLERR)) != 0, (revents & POLLOUT) != 0,
                         now_us);
}

void broker_client_drop(BrokerClient &c, int64_t now_us, int rc)
{
    if (c.mosq)
        attempt_over(c, now_us, rc);
}

void broker_client_report(BrokerClient &c, const std::string &line)
{
    if (line == c.last_reported)
        return;
    fprintf(stderr, "%s: %s\n", c.setup.program, line.c_str());
    c.last_reported = line;
}

std::string broker_client_where(const BrokerClient &c)
{
    return c.setup.broker.host + ":" + std::to_string(c.setup.broker.port);
}

void broker_client_stop(BrokerClient &c)
{
    const bool thread_busy = connect_job_pending(c.job);
    connect_job_abandon(c.job);
    c.mosq.reset();
    c.state = BrokerState::Idle;
    // A helper thread still inside libmosquitto: leave the library as it is.
    if (!thread_busy)
        mosquitto_lib_cleanup();
}
