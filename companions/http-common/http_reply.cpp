// SPDX-License-Identifier: MIT
#include "http_reply.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace
{
constexpr size_t BODY_CHUNK = 4096;

int completed(struct lws *wsi)
{
    return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
}
} // namespace

int http_reply_headers(struct lws *wsi, unsigned status, const char *content_type,
                       lws_filepos_t length, std::span<const HttpHeader> extra)
{
    std::array<unsigned char, LWS_PRE + 2048> buf;
    unsigned char *start = buf.data() + LWS_PRE;
    unsigned char *p = start;
    unsigned char *end = buf.data() + buf.size() - 1;
    const HttpHeader common[] = {{"x-content-type-options:", "nosniff"},
                                 {"cache-control:", "no-store"}};
    const auto add = [&](const HttpHeader &h) {
        return lws_add_http_header_by_name(wsi, reinterpret_cast<const unsigned char *>(h.name),
                                           reinterpret_cast<const unsigned char *>(h.value.data()),
                                           static_cast<int>(h.value.size()), &p, end) == 0;
    };
    if (lws_add_http_common_headers(wsi, status, content_type, length, &p, end) != 0 ||
        !std::ranges::all_of(common, add) || !std::ranges::all_of(extra, add))
        return -1;
    return lws_finalize_write_http_header(wsi, start, &p, end) != 0 ? -1 : 0;
}

int http_reply_body(struct lws *wsi, HttpBody &b, std::string_view body, std::string *owned)
{
    http_reply_drop(b);
    if (body.empty()) {
        delete owned;
        return completed(wsi);
    }
    b = {owned, reinterpret_cast<const unsigned char *>(body.data()), body.size(), 0};
    lws_callback_on_writable(wsi);
    return 0;
}

int http_reply_writable(struct lws *wsi, HttpBody &b)
{
    if (b.data == nullptr)
        return 0;
    std::array<unsigned char, LWS_PRE + BODY_CHUNK> buf;
    const size_t n = std::min(BODY_CHUNK, b.size - b.sent);
    memcpy(buf.data() + LWS_PRE, b.data + b.sent, n);
    const bool last = b.sent + n == b.size;
    if (lws_write(wsi, buf.data() + LWS_PRE, n, last ? LWS_WRITE_HTTP_FINAL : LWS_WRITE_HTTP) <
        static_cast<int>(n))
        return -1;
    b.sent += n;
    if (!last) {
        lws_callback_on_writable(wsi);
        return 0;
    }
    http_reply_drop(b);
    return completed(wsi);
}

void http_reply_drop(HttpBody &b)
{
    delete b.owned;
    b = {};
}

int http_serve(HttpGate &g, struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
               size_t len, HttpRequestHandler on_request)
{
    auto *body = static_cast<HttpBody *>(user);
    if (http_gate_connection(g, wsi, reason, user) != 0)
        return 1;
    switch (reason) {
    case LWS_CALLBACK_FILTER_NETWORK_CONNECTION:
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED:
    case LWS_CALLBACK_WSI_DESTROY:
        return 0; // the gate's
    case LWS_CALLBACK_HTTP_DROP_PROTOCOL:
    case LWS_CALLBACK_CLOSED_HTTP:
        if (body != nullptr)
            http_reply_drop(*body);
        break;
    case LWS_CALLBACK_HTTP:
        return on_request(wsi, *body, static_cast<const char *>(in));
    case LWS_CALLBACK_HTTP_WRITEABLE:
        return http_reply_writable(wsi, *body);
    case LWS_CALLBACK_HTTP_BODY:
    case LWS_CALLBACK_HTTP_BODY_COMPLETION:
        // No request here has a body: its answer (a refusal) is on its way
        // already, and lws's default would end the connection under it.
        return 0;
    default:
        break;
    }
    return lws_callback_http_dummy(wsi, reason, user, in, len);
}
