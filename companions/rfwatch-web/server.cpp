// SPDX-License-Identifier: MIT
#include "server.h"

#include "http_context.h"
#include "http_reply.h"

#include "command.h"
#include "page_command.h"
#include "web_messages.h"

#include <cstring>

namespace
{

struct BrowserSession {
    Browser *browser;
};

WebServer &server_of(struct lws *wsi)
{
    return *static_cast<WebServer *>(lws_context_user(lws_get_context(wsi)));
}

void queue_text(Browser &b, std::string_view text)
{
    if (browser_queue_text(b.queue, text))
        lws_callback_on_writable(b.wsi);
}

// What the page's status line should say for this browser.
std::string status_for(const WebServer &s, const Browser &b)
{
    const RadioInfo r = s.source->radio(s, b.radio);
    return status_message(r.delivering, r.lines, r.dropped);
}

// The entries of radios the page has not been told about go
// one per writable turn, after texts and before frames, so thousands of
// radios never need a queue of their own.
bool send_owed_radio(WebServer &s, Browser &b)
{
    if (b.radios_owed.none() || browser_queue_has_text(b.queue))
        return false;
    size_t id = 0;
    while (!b.radios_owed.test(id))
        id++;
    b.radios_owed.reset(id);
    const std::string text =
        radio_message(static_cast<int>(id), s.source->radio(s, static_cast<int>(id)));
    std::array<unsigned char, LWS_PRE + BROWSER_TEXT_MAX> buf;
    if (text.size() > BROWSER_TEXT_MAX)
        return false;
    memcpy(buf.data() + LWS_PRE, text.data(), text.size());
    if (lws_write(b.wsi, buf.data() + LWS_PRE, text.size(), LWS_WRITE_TEXT) <
        static_cast<int>(text.size()))
        return false;
    lws_callback_on_writable(b.wsi);
    return true;
}

int on_established(WebServer &s, struct lws *wsi, BrowserSession &session)
{
    Browser *free_slot = nullptr;
    for (Browser &b : s.browsers)
        if (b.wsi == nullptr) {
            free_slot = &b;
            break;
        }
    if (free_slot == nullptr)
        return -1; // the upgrade check keeps this from happening
    Browser &b = *free_slot;
    b.wsi = wsi;
    b.id = ++s.next_browser_id;
    browser_queue_reset(b.queue);
    b.rx_len = 0;
    b.rx_overlong = false;
    session.browser = &b;
    s.browser_count++;
    b.radios_owed.reset();
    // A page that does not choose shows the one radio there is.
    b.radio = s.source->page_chooses ? -1 : 0;
    if (s.source->page_chooses) {
        queue_text(b, FLEET_MESSAGE);
        for (int i = 0; i < s.source->radio_count(s); i++) // not the forgotten
            b.radios_owed.set(static_cast<size_t>(i),
                              s.source->radio(s, i).state != RadioState::Expired);
    }
    queue_text(b, status_for(s, b));
    return 0;
}

void on_closed(WebServer &s, BrowserSession &session)
{
    if (session.browser == nullptr)
        return;
    session.browser->wsi = nullptr;
    session.browser = nullptr;
    s.browser_count--;
}

// One message per call, so a slow browser holds at most one in lws's
// buffer and the ring keeps the rest.
int on_writeable(WebServer &s, Browser &b)
{
    if (send_owed_radio(s, b))
        return 0;
    Outgoing out{};
    if (!browser_queue_front(b.queue, out))
        return 0;
    const int n =
        lws_write(b.wsi, out.payload, out.len, out.binary ? LWS_WRITE_BINARY : LWS_WRITE_TEXT);
    if (n < static_cast<int>(out.len))
        return -1;
    browser_queue_pop(b.queue, out);
    if (!browser_queue_empty(b.queue) || b.radios_owed.any())
        lws_callback_on_writable(b.wsi);
    return 0;
}

void select_radio(WebServer &s, Browser &b, int radio)
{
    b.radio = radio;
    browser_queue_drop_frames(b.queue); // the other radio's
    queue_text(b, selected_message(radio));
    queue_text(b, status_for(s, b));
}

void on_command(WebServer &s, Browser &b, std::string_view message)
{
    std::string json, error;
    if (s.source->page_chooses) {
        int radio = -1;
        switch (page_select_radio(message, s.source->radio_count(s), radio, error)) {
        case PageSelectResult::Select:
            select_radio(s, b, radio);
            return;
        case PageSelectResult::Invalid:
            queue_text(b, error_message(error));
            return;
        case PageSelectResult::NotSelect:
            break;
        }
    }
    if (s.options.read_only) {
        queue_text(b, error_message("read-only: rfwatch-web was started with --read-only"));
        return;
    }
    if (page_command_to_json(message, json, error) != PageCommandResult::Ok) {
        queue_text(b, error_message(error));
        return;
    }
    // The server asks for the air lines once for every page (the bridge's
    // operator, in fleet mode): one page stopping them would stop them for all.
    if (DaemonCommand cmd;
        parse_command(json, cmd).error == CommandError::Ok && cmd.kind == CommandKind::Air) {
        queue_text(b,
                   error_message("air: rfwatch-web asks for the air lines itself, for every page"));
        return;
    }
    if (!s.source->submit(s, b.radio, json, b.id, error))
        queue_text(b, error_message(error));
}

// Messages may arrive in pieces; a message longer than any command is
// answered with an error instead of being collected.
void on_receive(WebServer &s, struct lws *wsi, Browser &b, const void *in, size_t len)
{
    if (lws_frame_is_binary(wsi)) {
        if (lws_is_final_fragment(wsi))
            queue_text(b, error_message("binary messages are not commands"));
        return;
    }
    if (!b.rx_overlong && b.rx_len + len <= b.rx.size()) {
        memcpy(b.rx.data() + b.rx_len, in, len);
        b.rx_len += len;
    } else
        b.rx_overlong = true;
    if (!lws_is_final_fragment(wsi) || lws_remaining_packet_payload(wsi) > 0)
        return;
    if (b.rx_overlong)
        queue_text(b, error_message("message too long to be a command"));
    else
        on_command(s, b, std::string_view(b.rx.data(), b.rx_len));
    b.rx_len = 0;
    b.rx_overlong = false;
}

int ws_callback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in, size_t len)
{
    auto *session = static_cast<BrowserSession *>(user);
    switch (reason) {
    case LWS_CALLBACK_ESTABLISHED:
        return on_established(server_of(wsi), wsi, *session);
    case LWS_CALLBACK_CLOSED:
        on_closed(server_of(wsi), *session);
        return 0;
    case LWS_CALLBACK_SERVER_WRITEABLE:
        return session->browser != nullptr ? on_writeable(server_of(wsi), *session->browser) : -1;
    case LWS_CALLBACK_RECEIVE:
        if (session->browser != nullptr)
            on_receive(server_of(wsi), wsi, *session->browser, in, len);
        return 0;
    case LWS_CALLBACK_WSI_DESTROY:
        // The connection's slot, taken while it was still HTTP.
        return http_gate_connection(server_of(wsi).gate, wsi, reason, user);
    default:
        return 0;
    }
}

const struct lws_protocols protocols[] = {
    {"http", http_callback, sizeof(HttpBody), 0, 0, nullptr, 0},
    {WS_PROTOCOL_NAME, ws_callback, sizeof(BrowserSession), BROWSER_TEXT_MAX, 0, nullptr, 0},
    {LWS_WATCH_PROTOCOL_NAME, lws_watch_callback, 0, 0, 0, nullptr, 0},
    {nullptr, nullptr, 0, 0, 0, nullptr, 0},
};

} // namespace

bool server_start(WebServer &s, std::string &error)
{
    // Pinged after half the time without a sign of life, dropped after all.
    s.idle_policy = lws_retry_bo_t{};
    s.idle_policy.secs_since_valid_ping = static_cast<uint16_t>(s.options.browser_timeout_s / 2);
    s.idle_policy.secs_since_valid_hangup = static_cast<uint16_t>(s.options.browser_timeout_s);
    const HttpListen listen{"rfwatch-web",
                            s.options.access,
                            {MAX_CONNECTIONS, MAX_CONNECTIONS_PER_PEER},
                            LWS_SERVER_OPTION_VALIDATE_UTF8,
                            REQUEST_DEADLINE_S,
                            &s.idle_policy};
    s.context = http_context_create(listen, protocols, &s, s.gate, &s.vhost, error);
    if (s.context == nullptr)
        return false;
    s.source = s.options.fleet ? &FLEET_SOURCE : &DAEMON_SOURCE;
    s.source->start(s);
    return true;
}

int server_port(const WebServer &s)
{
    return lws_get_vhost_listen_port(s.vhost);
}

void server_stop(WebServer &s)
{
    if (s.context == nullptr)
        return;
    s.source->stop(s);
    lws_context_destroy(s.context);
    s.context = nullptr;
}

void server_radio_changed(WebServer &s, int id)
{
    for (Browser &b : s.browsers) {
        if (b.wsi == nullptr)
            continue;
        if (id >= 0 && s.source->page_chooses) {
            b.radios_owed.set(static_cast<size_t>(id));
            lws_callback_on_writable(b.wsi);
        }
        if (id < 0 || b.radio == id)
            queue_text(b, status_for(s, b));
    }
}

void server_radio_replaced(WebServer &s, int id)
{
    // Whoever showed the old radio starts over with the new one's frames.
    for (Browser &b : s.browsers)
        if (b.wsi != nullptr && b.radio == id)
            select_radio(s, b, id);
}

void server_radio_frame(WebServer &s, int id, const SpectrumFrame &f)
{
    for (Browser &b : s.browsers)
        if (b.wsi != nullptr && b.radio == id) {
            browser_queue_frame(b.queue, f);
            lws_callback_on_writable(b.wsi);
        }
}

void server_radio_air(WebServer &s, int id, std::string_view line, const AirLine &air)
{
    const std::string text = air_message(line);
    for (Browser &b : s.browsers) {
        if (b.wsi == nullptr)
            continue;
        // The radio list shows each radio's air: its entry is owed again
        // (one per radio however many lines come, see send_owed_radio).
        if (s.source->page_chooses)
            b.radios_owed.set(static_cast<size_t>(id));
        if (b.radio == id && !text.empty())
            browser_queue_air(b.queue, air.freq_mhz, text);
        lws_callback_on_writable(b.wsi);
    }
}

void server_command_done(WebServer &s, unsigned browser_id, std::string_view json,
                         std::string_view error)
{
    for (Browser &b : s.browsers)
        if (b.wsi != nullptr && b.id == browser_id)
            queue_text(b, error.empty() ? sent_message(json) : error_message(error));
}
