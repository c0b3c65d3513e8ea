// SPDX-License-Identifier: MIT
#include "server.h"

#include "http_context.h"
#include "http_reply.h"
#include "http_request.h"

#include "exposition.h"
#include "token.h"

#include <span>
#include <string_view>

namespace airtally_exporter
{

namespace
{

constexpr std::string_view kIndexPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>airtally-exporter</title>"
    "</head>\n<body><h1>airtally-exporter</h1><p><a href=\"/metrics\">Metrics</a></p></body>"
    "</html>\n";

enum class Method { Get, Head, Other };

struct Response {
    unsigned status;
    const char *content_type;
    std::string body;
    bool length_known;
    const char *extra_name = nullptr; // with its colon; nullptr: none
    std::string extra_value = {};
};

ExporterServer &server_of(struct lws *wsi)
{
    return *static_cast<ExporterServer *>(lws_context_user(lws_get_context(wsi)));
}

Method method_of(struct lws *wsi)
{
    if (lws_hdr_total_length(wsi, WSI_TOKEN_GET_URI) > 0)
        return Method::Get;
    if (lws_hdr_total_length(wsi, WSI_TOKEN_HEAD_URI) > 0)
        return Method::Head;
    return Method::Other;
}

Response text_response(unsigned status, const char *text, const char *extra_name = nullptr,
                       std::string extra_value = {})
{
    return {status,     "text/plain; charset=utf-8", std::string(text) + "\n", true,
            extra_name, std::move(extra_value)};
}

// The bearer token, when one is required: a peer that keeps guessing wrong
// waits longer and longer, its token not even compared meanwhile.
bool authorised(ExporterServer &s, struct lws *wsi, Response &refusal)
{
    if (s.token.empty())
        return true;
    const std::string authorization = http_header(wsi, WSI_TOKEN_HTTP_AUTHORIZATION);
    uint64_t wait = 0;
    switch (http_gate_token(
        s.gate, wsi, !authorization.empty(),
        [&] { return bearer_accepted(authorization, s.token); }, &wait)) {
    case TokenCheck::Right:
        return true;
    case TokenCheck::Throttled:
        refusal =
            text_response(HTTP_TOO_MANY_REQUESTS, "too many wrong tokens from this address: wait",
                          "retry-after:", std::to_string((wait + 999) / 1000));
        return false;
    case TokenCheck::None:
    case TokenCheck::Wrong:
        refusal =
            text_response(HTTP_STATUS_UNAUTHORIZED,
                          "bearer token missing or wrong (it is in the exporter's token file)",
                          "www-authenticate:", "Bearer realm=\"airtally-exporter\"");
        return false;
    }
    return false;
}

// What to answer, before anything is sent. A scrape happens here, and only
// for an authorised GET of /metrics.
Response respond(ExporterServer &s, struct lws *wsi, std::string_view path, Method method)
{
    if (!http_gate_host_ok(s.gate, wsi))
        return text_response(HTTP_MISDIRECTED, http_gate_host_refusal());
    if (method == Method::Other)
        return text_response(HTTP_STATUS_METHOD_NOT_ALLOWED, "only GET and HEAD are served",
                             "allow:", "GET, HEAD");
    if (Response refusal; !authorised(s, wsi, refusal))
        return refusal;
    if (path == "/metrics") {
        if (method == Method::Head)
            return {HTTP_STATUS_OK, EXPOSITION_CONTENT_TYPE, "", false};
        std::string body = scrape(s.scraper);
        air_daemons_append_metrics(s.air, body);
        return {HTTP_STATUS_OK, EXPOSITION_CONTENT_TYPE, std::move(body), true};
    }
    if (path == "/")
        return {HTTP_STATUS_OK, "text/html; charset=utf-8", std::string(kIndexPage), true};
    return text_response(HTTP_STATUS_NOT_FOUND, "not found: the metrics are at /metrics");
}

int on_request(ExporterServer &s, struct lws *wsi, HttpBody &session, const char *path)
{
    const Method method = method_of(wsi);
    Response r = respond(s, wsi, path != nullptr ? path : "", method);
    const HttpHeader extra{r.extra_name, r.extra_value};
    if (http_reply_headers(wsi, r.status, r.content_type,
                           r.length_known ? r.body.size() : LWS_ILLEGAL_HTTP_CONTENT_LEN,
                           std::span(&extra, r.extra_name != nullptr ? 1 : 0)) != 0)
        return -1;
    if (method == Method::Head)
        return http_reply_body(wsi, session, "", nullptr);
    auto *body = new std::string(std::move(r.body));
    return http_reply_body(wsi, session, *body, body);
}

int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len)
{
    return http_serve(server_of(wsi).gate, wsi, reason, user, in, len,
                      [](struct lws *w, HttpBody &b, const char *path) {
                          return on_request(server_of(w), w, b, path);
                      });
}

const struct lws_protocols protocols[] = {
    {"http", http_callback, sizeof(HttpBody), 0, 0, nullptr, 0},
    {LWS_WATCH_PROTOCOL_NAME, lws_watch_callback, 0, 0, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

} // namespace

bool server_start(ExporterServer &s, std::string &error)
{
    const HttpListen listen{
        "airtally-exporter", s.options.access, {MAX_CONNECTIONS, MAX_CONNECTIONS_PER_PEER}, 0,
        REQUEST_DEADLINE_S,  nullptr};
    s.context = http_context_create(listen, protocols, &s, s.gate, &s.vhost, error);
    if (s.context == nullptr)
        return false;
    air_daemons_start(s.air, s.options.daemons, s.options.air_period_ms, s.context, s.vhost);
    return true;
}

int server_port(const ExporterServer &s)
{
    return lws_get_vhost_listen_port(s.vhost);
}

void server_stop(ExporterServer &s)
{
    if (s.context != nullptr) {
        air_daemons_stop(s.air);
        lws_context_destroy(s.context);
        s.context = nullptr;
    }
    scraper_free(s.scraper);
}

} // namespace airtally_exporter
