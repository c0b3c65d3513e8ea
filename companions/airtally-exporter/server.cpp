#include "server.h"

#include "http_body.h"
#include "http_context.h"

#include "exposition.h"
#include "token.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// Per connection; lws hands it over zero-filled and frees it itself.
struct HttpSession {
    std::string *body; // being sent; nullptr between requests
    size_t sent;
};

enum class Method { Get, Head, Other };

struct Header {
    const char *name; // with its colon, as lws wants it
    const char *value;
};

struct Response {
    unsigned status;
    const char *content_type;
    std::string body;
    bool length_known;
    std::array<Header, 1> extra; // name nullptr: none
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

Response text_response(unsigned status, const char *text, Header extra = {nullptr, nullptr})
{
    return {status, "text/plain; charset=utf-8", std::string(text) + "\n", true, {extra}};
}

// What to answer, before anything is sent. A scrape happens here, and only
// for an authorised GET of /metrics.
Response respond(ExporterServer &s, struct lws *wsi, std::string_view path, Method method)
{
    if (method == Method::Other)
        return text_response(HTTP_STATUS_METHOD_NOT_ALLOWED, "only GET and HEAD are served",
                             {"allow:", "GET, HEAD"});
    if (!s.token.empty() &&
        !bearer_accepted(http_header(wsi, WSI_TOKEN_HTTP_AUTHORIZATION), s.token))
        return text_response(HTTP_STATUS_UNAUTHORIZED,
                             "bearer token missing or wrong (it is in the exporter's token file)",
                             {"www-authenticate:", "Bearer realm=\"airtally-exporter\""});
    if (path == "/metrics") {
        if (method == Method::Head)
            return {HTTP_STATUS_OK, EXPOSITION_CONTENT_TYPE, "", false, {}};
        return {HTTP_STATUS_OK, EXPOSITION_CONTENT_TYPE, scrape(s.scraper), true, {}};
    }
    if (path == "/")
        return {HTTP_STATUS_OK, "text/html; charset=utf-8", std::string(kIndexPage), true, {}};
    return text_response(HTTP_STATUS_NOT_FOUND, "not found: the metrics are at /metrics");
}

int send_headers(struct lws *wsi, const Response &r, size_t length)
{
    std::array<unsigned char, LWS_PRE + 1024> buf;
    unsigned char *start = buf.data() + LWS_PRE;
    unsigned char *p = start;
    unsigned char *end = buf.data() + buf.size() - 1;
    const Header common[] = {{"x-content-type-options:", "nosniff"},
                             {"cache-control:", "no-store"}};
    if (lws_add_http_common_headers(wsi, r.status, r.content_type,
                                    r.length_known ? length : LWS_ILLEGAL_HTTP_CONTENT_LEN, &p,
                                    end) != 0)
        return -1;
    auto add = [&](const Header &h) {
        return lws_add_http_header_by_name(wsi, reinterpret_cast<const unsigned char *>(h.name),
                                           reinterpret_cast<const unsigned char *>(h.value),
                                           static_cast<int>(strlen(h.value)), &p, end) == 0;
    };
    for (const Header &h : common)
        if (!add(h))
            return -1;
    for (const Header &h : r.extra)
        if (h.name != nullptr && !add(h))
            return -1;
    return lws_finalize_write_http_header(wsi, start, &p, end) != 0 ? -1 : 0;
}

void drop_body(HttpSession &session)
{
    delete session.body;
    session.body = nullptr;
    session.sent = 0;
}

int on_request(ExporterServer &s, struct lws *wsi, HttpSession &session, const char *path)
{
    const Method method = method_of(wsi);
    Response r = respond(s, wsi, path != nullptr ? path : "", method);
    const size_t length = r.body.size();
    if (send_headers(wsi, r, length) != 0)
        return -1;
    if (method == Method::Head || r.body.empty())
        return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
    drop_body(session);
    session.body = new std::string(std::move(r.body));
    lws_callback_on_writable(wsi);
    return 0;
}

int on_body_writeable(struct lws *wsi, HttpSession &session)
{
    if (session.body == nullptr)
        return 0;
    const std::string &body = *session.body;
    switch (write_body_chunk(wsi, reinterpret_cast<const unsigned char *>(body.data()), body.size(),
                             session.sent)) {
    case BodyStep::Failed:
        return -1;
    case BodyStep::More:
        return 0;
    case BodyStep::Done:
        break;
    }
    drop_body(session);
    return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
}

// A connection holds a slot from its accept to its end, whatever it does.
bool connection_slots_full(const ExporterServer &s)
{
    return std::find(s.connections.begin(), s.connections.end(), nullptr) == s.connections.end();
}

void connection_take_slot(ExporterServer &s, struct lws *wsi)
{
    auto *slot = std::find(s.connections.begin(), s.connections.end(), nullptr);
    if (slot != s.connections.end())
        *slot = wsi;
}

void connection_free_slot(ExporterServer &s, struct lws *wsi)
{
    auto *slot = std::find(s.connections.begin(), s.connections.end(), wsi);
    if (slot != s.connections.end())
        *slot = nullptr;
}

int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len)
{
    auto *session = static_cast<HttpSession *>(user);
    switch (reason) {
    case LWS_CALLBACK_FILTER_NETWORK_CONNECTION:
        // Refused at once: the scraper sees the connection closed.
        return connection_slots_full(server_of(wsi)) ? 1 : 0;
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED:
        connection_take_slot(server_of(wsi), wsi);
        break;
    case LWS_CALLBACK_WSI_DESTROY:
        connection_free_slot(server_of(wsi), wsi);
        break;
    case LWS_CALLBACK_HTTP_DROP_PROTOCOL:
    case LWS_CALLBACK_CLOSED_HTTP:
        if (session != nullptr)
            drop_body(*session);
        break;
    case LWS_CALLBACK_HTTP:
        return on_request(server_of(wsi), wsi, *session, static_cast<const char *>(in));
    case LWS_CALLBACK_HTTP_WRITEABLE:
        return on_body_writeable(wsi, *session);
    default:
        break;
    }
    return lws_callback_http_dummy(wsi, reason, user, in, len);
}

const struct lws_protocols protocols[] = {
    {"http", http_callback, sizeof(HttpSession), 0, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

} // namespace

bool server_start(ExporterServer &s, std::string &error)
{
    const HttpListen listen{"airtally-exporter", s.options.access.address, s.options.access.port,
                            0};
    s.context = http_context_create(listen, protocols, &s, &s.vhost, error);
    return s.context != nullptr;
}

int server_port(const ExporterServer &s)
{
    return lws_get_vhost_listen_port(s.vhost);
}

void server_stop(ExporterServer &s)
{
    if (s.context != nullptr) {
        lws_context_destroy(s.context);
        s.context = nullptr;
    }
    scraper_free(s.scraper);
}

} // namespace airtally_exporter
