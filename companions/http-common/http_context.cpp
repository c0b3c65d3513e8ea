// SPDX-License-Identifier: MIT
#include "http_context.h"

struct lws_context *http_context_create(const HttpListen &l, const struct lws_protocols *protocols,
                                        void *user, HttpGate &gate, struct lws_vhost **vhost,
                                        std::string &error)
{
    const std::string &address = l.access.address;
    lws_context_creation_info info{};
    info.port = l.access.port;
    info.iface = address.c_str();
    info.protocols = protocols;
    info.user = user;
    info.gid = -1;
    info.uid = -1;
    info.server_string = l.server_name;
    info.options = l.options;
    // lws gives a connection this long to send its request headers (it
    // holds a header table meanwhile; its default is 10 s), and as long to
    // send the next one on a kept-alive connection (its default is 5 s).
    info.timeout_secs_ah_idle = l.request_deadline_s;
    info.keepalive_timeout = static_cast<int>(l.request_deadline_s);
    info.retry_and_idle_policy = l.idle_policy;
    // With IPv6 on, libwebsockets binds an IPv4 address's port on every
    // address: loopback would be reachable from the network, unauthenticated.
    if (address.find(':') == std::string::npos)
        info.options |= LWS_SERVER_OPTION_DISABLE_IPV6;
    struct lws_context *context = lws_create_context(&info);
    *vhost = context != nullptr ? lws_get_vhost_by_name(context, "default") : nullptr;
    if (*vhost == nullptr || lws_get_vhost_listen_port(*vhost) <= 0) {
        error = "cannot listen on " + address + ":" + std::to_string(l.access.port);
        if (context != nullptr)
            lws_context_destroy(context);
        return nullptr;
    }
    http_gate_init(gate, l.access, lws_get_vhost_listen_port(*vhost), l.limits);
    return context;
}
