// SPDX-License-Identifier: MIT
// The fleet's broker as a radio source: the table of radios the fleet link
// keeps, read for the server.
#include "radio_source.h"
#include "server.h"

namespace
{

void start(WebServer &s)
{
    fleet_start(s.fleet, s, s.options.fleet_options);
}

void stop(WebServer &s)
{
    fleet_stop(s.fleet);
}

int radio_count(const WebServer &s)
{
    return static_cast<int>(s.fleet.radios.radios.size());
}

RadioInfo radio(const WebServer &s, int id)
{
    RadioInfo info;
    if (id < 0 || id >= radio_count(s))
        return info;
    const FleetRadio &r = s.fleet.radios.radios[static_cast<size_t>(id)];
    info.node = r.node;
    info.radio = r.radio;
    info.state = !r.in_use         ? RadioState::Expired
                 : !r.status_known ? RadioState::Unknown
                 : r.status.online ? RadioState::Online
                                   : RadioState::Offline;
    info.daemon_connected = r.in_use && r.status_known && r.status.daemon_connected;
    info.delivering = fleet_radio_connected(s.fleet, id);
    info.lines = r.status.lines;
    info.dropped = r.status.dropped;
    info.air = fleet_air_summary(r.air, broker_now_us());
    return info;
}

// The broker's acknowledgement is all there is to wait for; the access
// point's bridge hands the command to its daemon.
bool submit(WebServer &s, int id, std::string_view json, unsigned browser_id, std::string &error)
{
    if (!fleet_submit(s.fleet, id, json, error))
        return false;
    server_command_done(s, browser_id, json, {});
    return true;
}

} // namespace

const RadioSource FLEET_SOURCE = {true, start, stop, radio_count, radio, submit};
