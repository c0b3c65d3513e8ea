// SPDX-License-Identifier: MIT
// What every HTTP companion checks before a request is served: who may hold
// a connection (a bounded table, a few per peer, far below the descriptor
// limit; the time each has to send its request is the context's, see
// http_context.h), which Host it may name, and how fast a peer may guess
// the token.
#pragma once

#include "access_options.h"
#include "auth_throttle.h"

#include <functional>
#include <libwebsockets.h>
#include <string>
#include <vector>

// Descriptors kept back from connections for everything else the program
// opens: its standard streams, the listener, lws's own, the daemon links.
constexpr size_t GATE_FD_RESERVE = 32;
constexpr size_t GATE_PEER_MAX = 48; // an IPv6 address as text fits

struct GateSlot {
    struct lws *wsi; // nullptr: free
    char peer[GATE_PEER_MAX];
};

struct HttpGate {
    std::string address; // as listened on
    int port;
    std::vector<std::string> allow_hosts;
    std::vector<GateSlot> slots; // sized once, at init
    size_t per_peer;
    AuthThrottle throttle;
};

struct GateLimits {
    size_t connections; // at most; lowered to what the descriptor limit allows
    size_t per_peer;    // of those, from one address
};

// port: the one actually listened on.
void http_gate_init(HttpGate &g, const HttpAccess &access, int port, const GateLimits &limits);

// For the first protocol's callback, before its own handling, with what lws
// passed: the connection-level reasons (filter, instantiated, destroy; a
// protocol a connection upgrades to passes its destroy too). Returns nonzero
// when lws must drop the connection.
int http_gate_connection(HttpGate &g, struct lws *wsi, enum lws_callback_reasons reason,
                         void *user);

// The request's Host is one this server is known by (see host_allowed).
bool http_gate_host_ok(const HttpGate &g, struct lws *wsi);
constexpr unsigned HTTP_MISDIRECTED = 421;
constexpr unsigned HTTP_TOO_MANY_REQUESTS = 429; // the throttle's answer
// The short text to answer a refused Host with.
const char *http_gate_host_refusal();

// How a token a request presents fares. Throttled: the peer guessed wrong
// too often and must wait (*wait_ms, when asked); its token is not even
// compared meanwhile. None: nothing was presented.
enum class TokenCheck { None, Right, Wrong, Throttled };
TokenCheck http_gate_token(HttpGate &g, struct lws *wsi, bool presented,
                           const std::function<bool()> &matches, uint64_t *wait_ms = nullptr);

// The peer's address as text (the throttle's key).
std::string http_gate_peer(struct lws *wsi);

// For lws_set_log_level: libwebsockets' errors on standard error, at most a
// few a minute, so that a flood of failing accepts cannot fill the disk.
void http_gate_log_setup();

// Whether an accept failed for want of a descriptor since the last call
// (seen through that log; the connection bounds keep it from happening
// unless the limit is lowered under the running program).
bool http_gate_descriptors_out();
