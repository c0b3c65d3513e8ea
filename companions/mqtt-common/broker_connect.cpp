// SPDX-License-Identifier: MIT
#include "broker_connect.h"

#include <atomic>
#include <cerrno>
#include <mqtt_protocol.h>
#include <mutex>
#include <system_error>
#include <thread>

struct ConnectShared {
    std::atomic<bool> done{false};
    std::mutex lock; // guards m and abandoned at the hand-back
    mosquitto *m;    // the thread's until done, then the loop's
    bool abandoned;  // set: whoever comes second destroys m
    int rc, err;
};

namespace
{

void run(const std::shared_ptr<ConnectShared> &s, const ConnectTarget &target, ConnectCall call)
{
    errno = 0;
    const int rc = call(s->m, target);
    const int err = errno;
    std::lock_guard<std::mutex> hold(s->lock);
    s->rc = rc;
    s->err = err;
    if (s->abandoned) {
        mosquitto_destroy(s->m);
        s->m = nullptr;
    }
    s->done.store(true, std::memory_order_release);
}

} // namespace

int connect_blocking(mosquitto *m, const ConnectTarget &t)
{
    if (t.max_packet == 0) {
        mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        return mosquitto_connect(m, t.host.c_str(), t.port, t.keepalive_s);
    }
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_property *props = nullptr;
    int rc = mosquitto_property_add_int32(&props, MQTT_PROP_MAXIMUM_PACKET_SIZE, t.max_packet);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_bind_v5(m, t.host.c_str(), t.port, t.keepalive_s, nullptr, props);
    mosquitto_property_free_all(&props);
    return rc;
}

bool connect_job_start(ConnectJob &j, mosquitto *m, ConnectTarget target, ConnectCall call)
{
    connect_job_abandon(j);
    auto s = std::make_shared<ConnectShared>();
    s->m = m;
    s->abandoned = false;
    s->rc = MOSQ_ERR_UNKNOWN;
    s->err = 0;
    try {
        // Detached: a lookup may take minutes and nobody waits for it; the
        // shared record outlives whichever side lets go last.
        std::thread(run, s, std::move(target), call).detach();
    } catch (const std::system_error &) {
        mosquitto_destroy(m);
        return false;
    }
    j.shared = std::move(s);
    return true;
}

bool connect_job_pending(const ConnectJob &j)
{
    return j.shared != nullptr;
}

bool connect_job_take(ConnectJob &j, mosquitto **m, int *rc, int *err)
{
    if (!j.shared || !j.shared->done.load(std::memory_order_acquire))
        return false;
    *m = j.shared->m;
    *rc = j.shared->rc;
    *err = j.shared->err;
    j.shared.reset();
    return true;
}

void connect_job_abandon(ConnectJob &j)
{
    if (!j.shared)
        return;
    {
        std::lock_guard<std::mutex> hold(j.shared->lock);
        if (j.shared->done.load(std::memory_order_acquire)) {
            mosquitto_destroy(j.shared->m);
            j.shared->m = nullptr;
        } else {
            j.shared->abandoned = true;
        }
    }
    j.shared.reset();
}

const char *connack_reason(bool v5, int code)
{
    return v5 ? mosquitto_reason_string(code) : mosquitto_connack_string(code);
}

bool connack_refused_login(bool v5, int code)
{
    if (v5)
        return code == MQTT_RC_BAD_USERNAME_OR_PASSWORD || code == MQTT_RC_NOT_AUTHORIZED;
    return code == CONNACK_REFUSED_BAD_USERNAME_PASSWORD || code == CONNACK_REFUSED_NOT_AUTHORIZED;
}

bool connack_refused_version(bool v5, int code)
{
    // libmosquitto reports a 3.1.1 broker's "unacceptable protocol version"
    // to an MQTT 5 client as the version 5 code; accept the raw one too.
    return v5 && (code == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION ||
                  code == CONNACK_REFUSED_PROTOCOL_VERSION);
}
