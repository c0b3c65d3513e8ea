// SPDX-License-Identifier: MIT
// The libwebsockets side every HTTP companion shares: one listening context
// bound to exactly the address asked for, and its gate.
#pragma once

#include "http_gate.h"

#include <libwebsockets.h>
#include <string>

struct HttpListen {
    const char *server_name;  // the Server header: the program's name only
    const HttpAccess &access; // where to listen, and for which Host names
    GateLimits limits;
    unsigned options;                  // LWS_SERVER_OPTION_* besides the address rule
    unsigned request_deadline_s;       // from accept to whole request headers
    const lws_retry_bo_t *idle_policy; // nullptr: connections may idle
};

// The context listening on l (port 0: a free one) with gate set up for
// it, or nullptr with error set. *vhost is its default virtual host.
struct lws_context *http_context_create(const HttpListen &l, const struct lws_protocols *protocols,
                                        void *user, HttpGate &gate, struct lws_vhost **vhost,
                                        std::string &error);
