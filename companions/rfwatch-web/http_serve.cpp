// SPDX-License-Identifier: MIT
// The HTTP side: the page from the compiled-in assets (gzip-compressed on
// the wire to a client that takes it), the access token (query once, then
// cookie), and the checks on upgrades to WebSocket.
#include "access_token.h"
#include "http_context.h"
#include "http_reply.h"
#include "http_request.h"
#include "page_assets.h"
#include "server.h"
#include "url_text.h"

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>

#include <zlib.h>

namespace
{

WebServer &server_of(struct lws *wsi)
{
    return *static_cast<WebServer *>(lws_context_user(lws_get_context(wsi)));
}

constexpr const char *TOKEN_COOKIE_NAME = "rfwatch_token";
constexpr size_t TOKEN_TEXT_MAX = 1024; // as long as a token file may make one

std::string cookie_token(struct lws *wsi)
{
    std::array<char, TOKEN_TEXT_MAX + 1> buf{};
    size_t len = buf.size();
    if (lws_http_cookie_get(wsi, TOKEN_COOKIE_NAME, buf.data(), &len) != 0)
        return {};
    std::string_view v(buf.data(), strnlen(buf.data(), buf.size()));
    // A cookie value may be sent in double quotes.
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

bool query_token(struct lws *wsi, std::string &token)
{
    std::array<char, TOKEN_TEXT_MAX + 8> buf{};
    const char *v = lws_get_urlarg_by_name(wsi, "token=", buf.data(), static_cast<int>(buf.size()));
    if (v == nullptr)
        return false;
    token = v;
    return true;
}

// The token a request presents in its query or its cookie.
TokenCheck check_token(WebServer &s, struct lws *wsi, const std::string &given, bool present)
{
    if (!present)
        return TokenCheck::None;
    return http_gate_token(s.gate, wsi, true, [&] { return token_equal(given, s.token); });
}

TokenCheck check_cookie(WebServer &s, struct lws *wsi)
{
    if (s.token.empty())
        return TokenCheck::Right;
    const std::string given = cookie_token(wsi);
    return check_token(s, wsi, given, !given.empty());
}

std::string token_cookie(const WebServer &s)
{
    // The page's script cannot read it, and no other site's request sends it.
    return std::string(TOKEN_COOKIE_NAME) + "=" + s.token + "; HttpOnly; SameSite=Strict; Path=/";
}

// A page from another site must not drive the radios through a visitor's
// browser: a browser always names the page's origin, and ours is the host
// it asked for (checked to be one of ours before). Clients that are no
// browser send no Origin.
bool origin_ok(struct lws *wsi)
{
    if (lws_hdr_total_length(wsi, WSI_TOKEN_ORIGIN) <= 0)
        return true;
    const std::string ours = "http://" + http_header(wsi, WSI_TOKEN_HOST);
    return strcasecmp(http_header(wsi, WSI_TOKEN_ORIGIN).c_str(), ours.c_str()) == 0;
}

struct Refusal {
    unsigned code; // 0: allowed
    const char *text;
};

constexpr const char *THROTTLED_TEXT =
    "too many wrong tokens from this address: try again in a while";

Refusal upgrade_refusal(WebServer &s, struct lws *wsi)
{
    if (!http_gate_host_ok(s.gate, wsi))
        return {HTTP_MISDIRECTED, http_gate_host_refusal()};
    if (http_header(wsi, WSI_TOKEN_GET_URI) != WS_PATH)
        return {HTTP_STATUS_NOT_FOUND, "no WebSocket here; the page's is at /ws"};
    if (!origin_ok(wsi))
        return {HTTP_STATUS_FORBIDDEN, "WebSocket from another origin refused"};
    switch (check_cookie(s, wsi)) {
    case TokenCheck::Right:
        break;
    case TokenCheck::Throttled:
        return {HTTP_TOO_MANY_REQUESTS, THROTTLED_TEXT};
    case TokenCheck::None:
    case TokenCheck::Wrong:
        return {HTTP_STATUS_UNAUTHORIZED,
                "access token missing or wrong: open the page with ?token=... first"};
    }
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

// Whether an Accept-Encoding header takes gzip: named (or "*") with a
// weight other than q=0; a gzip of its own counts before the "*".
bool takes_gzip(std::string_view header)
{
    int named = -1, any = -1; // -1: not mentioned, 0: refused, 1: taken
    while (!header.empty()) {
        const size_t comma = header.find(',');
        const std::string_view entry = header.substr(0, comma);
        header = comma == std::string_view::npos ? std::string_view{} : header.substr(comma + 1);
        const size_t semi = entry.find(';');
        const std::string_view coding = trim_blanks(entry.substr(0, semi));
        std::string_view q =
            semi == std::string_view::npos ? "" : trim_blanks(entry.substr(semi + 1));
        const bool refused = (q.starts_with("q=") || q.starts_with("Q=")) && q.size() > 2 &&
                             q[2] == '0' && q.find_first_not_of("0.", 2) == std::string_view::npos;
        const auto is = [&coding](std::string_view name) {
            return coding.size() == name.size() &&
                   strncasecmp(coding.data(), name.data(), name.size()) == 0;
        };
        if (is("gzip") || is("x-gzip"))
            named = refused ? 0 : 1;
        else if (coding == "*")
            any = refused ? 0 : 1;
    }
    return named >= 0 ? named == 1 : any == 1;
}

// A client that takes no gzip gets the file inflated, once per file for
// the life of the program: the page is some tens of kB, and no inflate
// state per connection is left to free when a download is cut short.
// false when the stored bytes do not inflate to the file.
bool inflated(const PageAsset &asset, std::string_view &body)
{
    static std::map<const PageAsset *, std::string> plain;
    std::string &out = plain[&asset];
    if (out.size() != asset.size) {
        out.assign(asset.size, '\0');
        z_stream z{};
        z.next_in = const_cast<Bytef *>(asset.gz); // zlib's API is not const; it only reads
        z.avail_in = static_cast<uInt>(asset.gz_size);
        z.next_out = reinterpret_cast<Bytef *>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        bool whole = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK; // 16: the gzip wrapper
        whole = whole && inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_out == 0;
        inflateEnd(&z);
        if (!whole) {
            out.clear();
            return false;
        }
    }
    body = out;
    return true;
}

int send_headers(struct lws *wsi, const PageAsset &asset, std::string_view body)
{
    // The page needs nothing from anywhere else; say so, so that an
    // injected script could not load or send anything either.
    const HttpHeader extras[] = {
        {"content-security-policy:",
         "default-src 'self'; connect-src 'self'; frame-ancestors 'none'"},
        {"referrer-policy:", "no-referrer"},
        {"vary:", "Accept-Encoding"},
        {"content-encoding:", "gzip"},
    };
    const bool gzip = body.data() == reinterpret_cast<const char *>(asset.gz);
    return http_reply_headers(wsi, HTTP_STATUS_OK, asset.mime, body.size(),
                              std::span(extras).first(gzip ? 4 : 3));
}

// The token given in the address goes into the cookie, and the browser is
// sent on to the same page without it, so that it stays neither in the
// address bar nor in the history.
int redirect_with_cookie(const WebServer &s, struct lws *wsi)
{
    std::string location = url_path_text(http_header(wsi, WSI_TOKEN_GET_URI));
    std::string args;
    std::array<char, 256> part;
    for (int i = 0; lws_hdr_copy_fragment(wsi, part.data(), static_cast<int>(part.size()),
                                          WSI_TOKEN_HTTP_URI_ARGS, i) >= 0;
         i++)
        if (strncmp(part.data(), "token=", 6) != 0)
            args += (args.empty() ? "?" : "&") + url_arg_text(part.data());
    location += args;
    const std::string cookie = token_cookie(s);
    const HttpHeader headers[] = {{"location:", location}, {"set-cookie:", cookie}};
    if (http_reply_headers(wsi, HTTP_STATUS_SEE_OTHER, nullptr, 0, headers) != 0)
        return -1;
    return lws_http_transaction_completed(wsi) != 0 ? -1 : 0;
}

int on_request(WebServer &s, struct lws *wsi, HttpBody &session, const char *path)
{
    if (!http_gate_host_ok(s.gate, wsi))
        return reply_status(wsi, HTTP_MISDIRECTED, http_gate_host_refusal());
    if (lws_hdr_total_length(wsi, WSI_TOKEN_GET_URI) <= 0)
        return reply_status(wsi, HTTP_STATUS_METHOD_NOT_ALLOWED, "only GET is served");
    std::string given;
    const bool in_query = !s.token.empty() && query_token(wsi, given);
    switch (in_query ? check_token(s, wsi, given, true) : check_cookie(s, wsi)) {
    case TokenCheck::Right:
        if (in_query)
            return redirect_with_cookie(s, wsi);
        break;
    case TokenCheck::Throttled:
        return reply_status(wsi, HTTP_TOO_MANY_REQUESTS, THROTTLED_TEXT);
    case TokenCheck::None:
    case TokenCheck::Wrong:
        return reply_status(wsi, HTTP_STATUS_UNAUTHORIZED,
                            "access token missing or wrong: open the address with "
                            "?token=... (the token is in rfwatch-web's token file)");
    }
    const PageAsset *asset = find_page_asset(path);
    if (asset == nullptr)
        return reply_status(wsi, HTTP_STATUS_NOT_FOUND, "no such page");
    std::string_view body(reinterpret_cast<const char *>(asset->gz), asset->gz_size);
    if (!takes_gzip(http_header(wsi, WSI_TOKEN_HTTP_ACCEPT_ENCODING)) && !inflated(*asset, body))
        return reply_status(wsi, HTTP_STATUS_INTERNAL_SERVER_ERROR,
                            "the page could not be unpacked");
    if (send_headers(wsi, *asset, body) != 0)
        return -1;
    return http_reply_body(wsi, session, body, nullptr);
}

} // namespace

int http_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                  size_t len)
{
    if (reason == LWS_CALLBACK_HTTP_CONFIRM_UPGRADE) {
        const Refusal r = upgrade_refusal(server_of(wsi), wsi);
        return r.code == 0 ? 0 : refuse(wsi, r);
    }
    return http_serve(server_of(wsi).gate, wsi, reason, user, in, len,
                      [](struct lws *w, HttpBody &b, const char *path) {
                          return on_request(server_of(w), w, b, path);
                      });
}
