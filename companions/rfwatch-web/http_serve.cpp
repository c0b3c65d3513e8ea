// The HTTP side: the page from the compiled-in assets, the access token
// (query once, then cookie), and the checks on upgrades to WebSocket.
#include "http_body.h"
#include "http_context.h"
#include "page_assets.h"
#include "server.h"
#include "token.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>

namespace
{

WebServer &server_of(struct lws *wsi)
{
    return *static_cast<WebServer *>(lws_context_user(lws_get_context(wsi)));
}

// lws keeps the query's "name=value" parts apart; join them back.
std::string query(struct lws *wsi)
{
    std::string q;
    std::array<char, 256> part;
    for (int i = 0; lws_hdr_copy_fragment(wsi, part.data(), static_cast<int>(part.size()),
                                          WSI_TOKEN_HTTP_URI_ARGS, i) >= 0;
         i++) {
        if (i > 0)
            q += '&';
        q += part.data();
    }
    return q;
}

bool cookie_ok(const WebServer &s, struct lws *wsi)
{
    return s.token.empty() || token_in_cookie(http_header(wsi, WSI_TOKEN_HTTP_COOKIE), s.token);
}

bool same_text_ignoring_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return tolower(static_cast<unsigned char>(x)) ==
                      tolower(static_cast<unsigned char>(y));
           });
}

// A page from another site must not drive the radios through a visitor's
// browser: a browser always names the page's origin, and ours is the host
// it asked for. Clients that are no browser send no Origin.
bool origin_ok(struct lws *wsi)
{
    if (lws_hdr_total_length(wsi, WSI_TOKEN_ORIGIN) <= 0)
        return true;
    return same_text_ignoring_case(http_header(wsi, WSI_TOKEN_ORIGIN),
                                   "http://" + http_header(wsi, WSI_TOKEN_HOST));
}

struct Refusal {
    unsigned code; // 0: allowed
    const char *text;
};

Refusal upgrade_refusal(const WebServer &s, struct lws *wsi)
{
    if (http_header(wsi, WSI_TOKEN_GET_URI) != WS_PATH)
        return {HTTP_STATUS_NOT_FOUND, "no WebSocket here; the page's is at /ws"};
    if (!origin_ok(wsi))
        return {HTTP_STATUS_FORBIDDEN, "WebSocket from another origin refused"};
    if (!cookie_ok(s, wsi))
        return {HTTP_STATUS_UNAUTHORIZED,
                "access token missing or wrong: open the page with ?token=... first"};
    if (s.browser_count >= MAX_BROWSERS)
        return {HTTP_STATUS_SERVICE_UNAVAILABLE,
                "at most 16 browsers at once: close another rfwatch-web page and reload"};
    return {0, nullptr};
}

// A short answer in place of the page; the connection may carry more.
int reply_status(struct lws *wsi, unsigned code, const char *text)
{
    if (lws_return_http_status(wsi, code, text) != 0)
        return -1;
    return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
}

int refuse(struct lws *wsi, const Refusal &r)
{
    if (lws_return_http_status(wsi, r.code, r.text) != 0)
        return -1;
    return 1;
}

int send_headers(struct lws *wsi, const PageAsset &asset, const std::string &cookie)
{
    std::array<unsigned char, LWS_PRE + 1024> buf;
    unsigned char *start = buf.data() + LWS_PRE;
    unsigned char *p = start;
    unsigned char *end = buf.data() + buf.size() - 1;
    // The page needs nothing from anywhere else; say so, so that an
    // injected script could not load or send anything either.
    static const char csp[] = "default-src 'self'; connect-src 'self'; frame-ancestors 'none'";
    struct Extra {
        const char *name;
        const char *value;
    };
    const std::array<Extra, 4> extras = {{
        {"content-security-policy:", csp},
        {"x-content-type-options:", "nosniff"},
        {"cache-control:", "no-store"},
        {"referrer-policy:", "no-referrer"},
    }};
    if (lws_add_http_common_headers(wsi, HTTP_STATUS_OK, asset.mime, asset.size, &p, end) != 0)
        return -1;
    for (const Extra &e : extras)
        if (lws_add_http_header_by_name(wsi, reinterpret_cast<const unsigned char *>(e.name),
                                        reinterpret_cast<const unsigned char *>(e.value),
                                        static_cast<int>(strlen(e.value)), &p, end) != 0)
            return -1;
    if (!cookie.empty() &&
        lws_add_http_header_by_token(wsi, WSI_TOKEN_HTTP_SET_COOKIE,
                                     reinterpret_cast<const unsigned char *>(cookie.data()),
                                     static_cast<int>(cookie.size()), &p, end) != 0)
        return -1;
    return lws_finalize_write_http_header(wsi, start, &p, end) != 0 ? -1 : 0;
}

int on_request(WebServer &s, struct lws *wsi, HttpSession &session, const char *path)
{
    if (lws_hdr_total_length(wsi, WSI_TOKEN_GET_URI) <= 0)
        return reply_status(wsi, HTTP_STATUS_METHOD_NOT_ALLOWED, "only GET is served");
    std::string cookie;
    if (!cookie_ok(s, wsi)) {
        if (!token_in_query(query(wsi), s.token))
            return reply_status(wsi, HTTP_STATUS_UNAUTHORIZED,
                                "access token missing or wrong: open the address with "
                                "?token=... (the token is in rfwatch-web's token file)");
        // From now on the browser carries it; the page's script cannot
        // read it, and no other site's request sends it.
        cookie =
            std::string(TOKEN_COOKIE_NAME) + "=" + s.token + "; HttpOnly; SameSite=Strict; Path=/";
    }
    const PageAsset *asset = find_page_asset(path);
    if (asset == nullptr)
        return reply_status(wsi, HTTP_STATUS_NOT_FOUND, "no such page");
    session.asset = asset;
    session.sent = 0;
    if (send_headers(wsi, *asset, cookie) != 0)
        return -1;
    lws_callback_on_writable(wsi);
    return 0;
}

int on_body_writeable(struct lws *wsi, HttpSession &session)
{
    if (session.asset == nullptr)
        return 0;
    switch (write_body_chunk(wsi, session.asset->data, session.asset->size, session.sent)) {
    case BodyStep::Failed:
        return -1;
    case BodyStep::More:
        return 0;
    case BodyStep::Done:
        break;
    }
    session.asset = nullptr;
    return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
}

} // namespace

int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len)
{
    auto *session = static_cast<HttpSession *>(user);
    switch (reason) {
    case LWS_CALLBACK_HTTP:
        return on_request(server_of(wsi), wsi, *session, static_cast<const char *>(in));
    case LWS_CALLBACK_HTTP_WRITEABLE:
        return on_body_writeable(wsi, *session);
    case LWS_CALLBACK_HTTP_CONFIRM_UPGRADE: {
        const Refusal r = upgrade_refusal(server_of(wsi), wsi);
        return r.code == 0 ? 0 : refuse(wsi, r);
    }
    default:
        return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}
