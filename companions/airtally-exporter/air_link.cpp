// SPDX-License-Identifier: MIT
#include "air_link.h"

#include "air_metrics.h"
#include "command.h"

#include <cstdio>

namespace airtally_exporter
{

namespace
{

constexpr int32_t EXPORTER_SPECTRUM_PERIOD_MS = 3600000;

AirDaemon &daemon_of(void *context)
{
    return *static_cast<AirDaemon *>(context);
}

void on_line(void *context, std::string_view line)
{
    AirDaemon &d = daemon_of(context);
    if (air_radio_take(d.radio, line, lws_now_usecs()) == AirTake::Refused && !d.refusal_logged) {
        fprintf(stderr, "airtally-exporter: %s: an air line from rfwatchd did not parse; ignored\n",
                d.radio.name.c_str());
        d.refusal_logged = true;
    }
}

void on_change(void *context, LinkChange change, int /*error*/)
{
    AirDaemon &d = daemon_of(context);
    if (change == LinkChange::Unreachable)
        return;
    if (change == LinkChange::Connected) {
        d.radio.up = true;
        d.refusal_logged = false;
        // The daemon forgets a client's air period with the client. Queued
        // now, written once the loop watches the descriptor. The spectra
        // are of no use here: an hour's aggregation keeps them from costing
        // the daemon and this loop a line per frequency every 100 ms.
        link_submit(d.link,
                    encode_command({.kind = CommandKind::SetAggregation,
                                    .period_ms = EXPORTER_SPECTRUM_PERIOD_MS}),
                    0);
        link_submit(d.link,
                    encode_command({.kind = CommandKind::Air, .air_period_ms = d.period_ms}), 0);
        fprintf(stderr, "airtally-exporter: %s: connected to rfwatchd at %s\n",
                d.radio.name.c_str(), d.link.socket_path.c_str());
        return;
    }
    // What a gone daemon measured is not the air now.
    d.radio.up = false;
    d.radio.captures.clear();
    fprintf(stderr, "airtally-exporter: %s: lost rfwatchd at %s; reconnecting\n",
            d.radio.name.c_str(), d.link.socket_path.c_str());
}

} // namespace

void air_daemons_start(AirDaemons &daemons, const std::vector<AirSource> &sources, int period_ms,
                       struct lws_context *context, struct lws_vhost *vhost)
{
    for (const AirSource &s : sources) {
        auto d = std::make_unique<AirDaemon>();
        d->radio.name = s.radio;
        d->period_ms = period_ms;
        d->refusal_logged = false;
        link_init(d->link, s.socket_path, {d.get(), on_line, on_change, nullptr});
        link_lws_start(d->watch, d->link, context, vhost);
        daemons.push_back(std::move(d));
    }
}

void air_daemons_stop(AirDaemons &daemons)
{
    for (auto &d : daemons)
        lws_watch_stop(d->watch);
}

void air_daemons_append_metrics(AirDaemons &daemons, std::string &out)
{
    std::vector<const AirRadio *> radios;
    const int64_t now = lws_now_usecs();
    for (auto &d : daemons) {
        air_radio_expire(d->radio, now);
        radios.push_back(&d->radio);
    }
    append_air_metrics(out, radios);
}

} // namespace airtally_exporter
