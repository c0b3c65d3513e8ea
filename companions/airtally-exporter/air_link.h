// SPDX-License-Identifier: MIT
// The exporter's links to the rfwatchd daemons named by --rfwatchd, run
// from its libwebsockets loop: each asks for air lines after every
// connection and keeps them (air_radios.h) for the scrapes.
#pragma once

#include "air_radios.h"
#include "rfwatchd_link_lws.h"

#include <memory>
#include <string>
#include <vector>

namespace airtally_exporter
{

struct AirDaemon {
    AirRadio radio;
    DaemonLink link;
    LwsWatch watch;
    int period_ms;
    bool refusal_logged; // one log line per connection, not per line
};

using AirDaemons = std::vector<std::unique_ptr<AirDaemon>>;

void air_daemons_start(AirDaemons &daemons, const std::vector<AirSource> &sources, int period_ms,
                       struct lws_context *context, struct lws_vhost *vhost);
// Before the lws context goes.
void air_daemons_stop(AirDaemons &daemons);
// The air metrics as of now (stale centres dropped first).
void air_daemons_append_metrics(AirDaemons &daemons, std::string &out);

} // namespace airtally_exporter
