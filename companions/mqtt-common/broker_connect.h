// SPDX-License-Identifier: MIT
// Connecting an MQTT client without blocking the caller's loop, and what the
// MQTT companions share about the answer.
//
// libmosquitto's connect looks the broker's name up with a blocking
// getaddrinfo, and its MQTT 5 connect (the only one that carries the
// maximum packet size) also waits for the TCP handshake. Both happen here on
// a helper thread that owns the client until it is done; the loop checks
// connect_job_take() on its own timer and meanwhile serves everything else.
// The client is connected by the name it was given, so TLS still verifies
// the certificate against that name (libmosquitto checks the host it
// connected to).
#pragma once

#include <cstdint>
#include <memory>
#include <mosquitto.h>
#include <string>

struct ConnectTarget {
    std::string host;
    int port;
    int keepalive_s;
    // MQTT 5: the largest packet the broker may send us; the broker drops
    // larger messages for this client instead of sending them. 0: MQTT 3.1.1,
    // which has no such limit.
    uint32_t max_packet;
};

// What runs on the helper thread; a test puts its own in.
using ConnectCall = int (*)(mosquitto *m, const ConnectTarget &t);
// The real one: the protocol version follows t.max_packet.
int connect_blocking(mosquitto *m, const ConnectTarget &t);

struct ConnectShared; // between the loop and the helper thread

struct ConnectJob {
    std::shared_ptr<ConnectShared> shared; // empty: no connection under way
};

// Hands m over to a helper thread that connects it. false: no thread could
// be started (m is destroyed).
bool connect_job_start(ConnectJob &j, mosquitto *m, ConnectTarget target,
                       ConnectCall call = connect_blocking);
// Whether a connection is under way (started and not yet taken back).
bool connect_job_pending(const ConnectJob &j);
// Once the thread is done: the client back in *m, the connect's result in
// *rc and its errno in *err; true. false while it is still working.
bool connect_job_take(ConnectJob &j, mosquitto **m, int *rc, int *err);
// The loop no longer wants the client (stopping, or starting over): the
// thread destroys it when its call returns.
void connect_job_abandon(ConnectJob &j);

// The broker's CONNACK code as text; the codes differ between MQTT 3.1.1
// and 5.
const char *connack_reason(bool v5, int code);
// Whether the code refuses the login (bad user name or password, not
// authorised): a retry will not do better soon.
bool connack_refused_login(bool v5, int code);
// Whether the broker does not speak MQTT 5 (an older broker answers a
// version 5 CONNECT so).
bool connack_refused_version(bool v5, int code);
