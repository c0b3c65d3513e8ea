// SPDX-License-Identifier: MIT
// One way for the HTTP companions to answer a request: a status, the
// headers every answer carries, the answer's own, and a body sent one chunk
// per writable turn, so a large body never stalls the one event loop the
// companions share with their other clients.
#pragma once

#include "http_gate.h"

#include <libwebsockets.h>
#include <span>
#include <string>
#include <string_view>

struct HttpHeader {
    const char *name; // with its colon, as lws wants it
    std::string_view value;
};

// Per connection, in lws's zero-filled session memory: the body being sent.
struct HttpBody {
    std::string *owned;        // made for this answer: freed once sent or dropped
    const unsigned char *data; // nullptr: none being sent
    size_t size, sent;
};

// The status, content type (nullptr: none), length (LWS_ILLEGAL_HTTP_CONTENT_LEN:
// not known), the headers no answer goes without (nosniff, no-store) and
// extra. 0, or -1 when the connection failed.
int http_reply_headers(struct lws *wsi, unsigned status, const char *content_type,
                       lws_filepos_t length, std::span<const HttpHeader> extra);
// After the headers: sends body (owned: b frees it), or completes the
// transaction at once when body is empty. lws's return value.
int http_reply_body(struct lws *wsi, HttpBody &b, std::string_view body, std::string *owned);
// For LWS_CALLBACK_HTTP_WRITEABLE: the next chunk. lws's return value.
int http_reply_writable(struct lws *wsi, HttpBody &b);
// The connection ends: what is left unsent is dropped.
void http_reply_drop(HttpBody &b);

// A request's answer: headers, then http_reply_body (or -1).
using HttpRequestHandler = int (*)(struct lws *wsi, HttpBody &b, const char *path);
// The first protocol's callback (its session memory an HttpBody), with
// what lws passed: the gate first, each request to on_request, the body's
// turns and its end here, the rest to lws's default handling.
int http_serve(HttpGate &g, struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
               size_t len, HttpRequestHandler on_request);
