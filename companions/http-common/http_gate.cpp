// SPDX-License-Identifier: MIT
#include "http_gate.h"

#include "host_check.h"
#include "http_request.h"
#include "log_limiter.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>

namespace
{

// The text both the filter (from the accepted address) and the slot (from
// the socket) key a peer by, so that the two always agree.
void peer_text(const sockaddr_storage &a, char (&out)[GATE_PEER_MAX])
{
    out[0] = '\0';
    if (a.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in &>(a).sin_addr, out, sizeof out);
    else if (a.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 &>(a).sin6_addr, out, sizeof out);
}

void peer_of_socket(struct lws *wsi, char (&out)[GATE_PEER_MAX])
{
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    out[0] = '\0';
    if (getpeername(lws_get_socket_fd(wsi), reinterpret_cast<sockaddr *>(&a), &len) == 0)
        peer_text(a, out);
}

// Connections the descriptor limit leaves room for, so that accept never
// meets EMFILE (lws would retry it at once, for ever, logging each time).
size_t descriptor_room()
{
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    const auto soft = static_cast<size_t>(r.rlim_cur);
    return soft > 2 * GATE_FD_RESERVE ? soft - GATE_FD_RESERVE : soft / 2;
}

bool admit(const HttpGate &g, const char *peer)
{
    size_t free_slots = 0, same_peer = 0;
    for (const GateSlot &s : g.slots) {
        free_slots += s.wsi == nullptr;
        same_peer += s.wsi != nullptr && strcmp(s.peer, peer) == 0;
    }
    return free_slots > 0 && same_peer < g.per_peer;
}

void take(HttpGate &g, struct lws *wsi)
{
    auto slot = std::ranges::find(g.slots, nullptr, &GateSlot::wsi);
    if (slot == g.slots.end())
        return; // the filter keeps this from happening
    slot->wsi = wsi;
    peer_of_socket(wsi, slot->peer);
}

void release(HttpGate &g, struct lws *wsi)
{
    auto slot = std::ranges::find(g.slots, wsi, &GateSlot::wsi);
    if (slot != g.slots.end())
        *slot = GateSlot{};
}

LogLimiter log_limiter;
volatile bool descriptors_out = false;

void emit_limited(int /*level*/, const char *line)
{
    // lws says so each time accept fails for want of a descriptor, and
    // tries again at once while the listener stays readable.
    if (strstr(line, "accept: errno 24") != nullptr)
        descriptors_out = true;
    unsigned suppressed = 0;
    if (!log_limiter_pass(log_limiter, throttle_clock_ms(), &suppressed))
        return;
    if (suppressed > 0)
        fprintf(stderr, "(%u libwebsockets lines like the next were not written)\n", suppressed);
    fputs(line, stderr);
}

} // namespace

void http_gate_init(HttpGate &g, const HttpAccess &access, int port, const GateLimits &limits)
{
    g.address = access.address;
    g.port = port;
    g.allow_hosts = access.allow_hosts;
    g.slots.assign(std::max<size_t>(1, std::min(limits.connections, descriptor_room())),
                   GateSlot{});
    g.per_peer = limits.per_peer;
    g.throttle = AuthThrottle{};
}

int http_gate_connection(HttpGate &g, struct lws *wsi, enum lws_callback_reasons reason, void *user)
{
    switch (reason) {
    case LWS_CALLBACK_FILTER_NETWORK_CONNECTION: {
        // Refused at once, before a byte is read: the peer sees the close.
        const auto *args = static_cast<const lws_filter_network_conn_args *>(user);
        char peer[GATE_PEER_MAX];
        peer_text(args->cli_addr, peer);
        return admit(g, peer) ? 0 : 1;
    }
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED:
        take(g, wsi);
        return 0;
    case LWS_CALLBACK_WSI_DESTROY:
        release(g, wsi);
        return 0;
    default:
        return 0;
    }
}

bool http_gate_host_ok(const HttpGate &g, struct lws *wsi)
{
    return host_allowed(http_header(wsi, WSI_TOKEN_HOST), g.address, g.port, g.allow_hosts);
}

const char *http_gate_host_refusal()
{
    return "this server does not answer to that Host; start it with --allow-host NAME to be "
           "reached by NAME";
}

TokenCheck http_gate_token(HttpGate &g, struct lws *wsi, bool presented,
                           const std::function<bool()> &matches, uint64_t *wait_ms)
{
    const std::string peer = http_gate_peer(wsi);
    const uint64_t now = throttle_clock_ms();
    const uint64_t wait = throttle_wait_ms(g.throttle, peer, now);
    if (wait_ms != nullptr)
        *wait_ms = wait;
    if (wait > 0)
        return TokenCheck::Throttled;
    if (!presented)
        return TokenCheck::None;
    if (matches()) {
        throttle_succeeded(g.throttle, peer);
        return TokenCheck::Right;
    }
    throttle_failed(g.throttle, peer, now);
    return TokenCheck::Wrong;
}

std::string http_gate_peer(struct lws *wsi)
{
    char peer[GATE_PEER_MAX];
    peer_of_socket(wsi, peer);
    return peer;
}

void http_gate_log_setup()
{
    lws_set_log_level(LLL_ERR, emit_limited);
}

bool http_gate_descriptors_out()
{
    const bool out = descriptors_out;
    descriptors_out = false;
    return out;
}
