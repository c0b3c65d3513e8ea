// SPDX-License-Identifier: MIT
#include "daemon_link.h"

#include "air_line.h"
#include "command.h"
#include "frame.h"
#include "server.h"

namespace
{

// Air lines are asked for again on every connection: a restarted daemon
// forgets it. One that does not know the command ignores it and sends
// spectra as before.
constexpr int32_t AIR_PERIOD_MS = 1000;
// Not a browser's: browser ids start at 1, so its outcome reaches no page.
constexpr uint64_t OWN_COMMAND = 0;

std::string air_command()
{
    DaemonCommand c;
    c.kind = CommandKind::Air;
    c.air_period_ms = AIR_PERIOD_MS;
    return encode_command(c);
}

WebServer &server_of(void *context)
{
    return *static_cast<WebServer *>(context);
}

void on_line(void *context, std::string_view line)
{
    WebServer &s = server_of(context);
    s.daemon.lines++;
    if (is_air_line(line)) {
        AirLine air;
        if (parse_air_line(line, air))
            server_radio_air(s, 0, line, air);
        else
            s.daemon.dropped++;
        return;
    }
    SpectrumFrame frame;
    if (frame_from_line(line, frame))
        server_radio_frame(s, 0, frame);
    else
        s.daemon.dropped++;
}

// A failed attempt changes nothing the page shows: it already says
// unreachable.
void on_change(void *context, LinkChange change, int /*error*/)
{
    WebServer &s = server_of(context);
    if (change == LinkChange::Connected)
        link_submit(s.daemon.link, air_command(), OWN_COMMAND); // written once adopted
    if (change != LinkChange::Unreachable)
        server_radio_changed(s, -1);
}

void on_done(void *context, const LinkCommand &command, bool sent)
{
    server_command_done(server_of(context), static_cast<unsigned>(command.tag), command.text,
                        sent ? "" : "rfwatchd went away; the command was not sent");
}

void start(WebServer &s)
{
    s.daemon.lines = s.daemon.dropped = 0;
    link_init(s.daemon.link, s.options.socket_path, {&s, on_line, on_change, on_done});
    link_lws_start(s.daemon.loop, s.daemon.link, s.context, s.vhost);
}

// The loop closes the adopted descriptor as the context goes; by then the
// browsers are gone too, so unsent commands have no one to tell.
void stop(WebServer &s)
{
    lws_watch_stop(s.daemon.loop);
}

int radio_count(const WebServer & /*s*/)
{
    return 1;
}

RadioInfo radio(const WebServer &s, int id)
{
    RadioInfo info;
    if (id != 0)
        return info;
    const bool connected = link_connected(s.daemon.link);
    const uint64_t overlong = s.daemon.link.lines_in.overlongs;
    info.state = connected ? RadioState::Online : RadioState::Offline;
    info.daemon_connected = info.delivering = connected;
    info.lines = s.daemon.lines + overlong;
    info.dropped = s.daemon.dropped + overlong;
    return info;
}

bool submit(WebServer &s, int /*id*/, std::string_view json, unsigned browser_id,
            std::string &error)
{
    const LinkSubmit r = link_lws_submit(s.daemon.loop, json, browser_id);
    if (r != LinkSubmit::Queued)
        error = link_submit_message(r);
    return r == LinkSubmit::Queued;
}

} // namespace

const RadioSource DAEMON_SOURCE = {false, start, stop, radio_count, radio, submit};
