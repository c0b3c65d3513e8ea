// SPDX-License-Identifier: MIT
#include "broker_lws.h"

#include <fcntl.h>

namespace
{

// Whether the watch still watches the client's connection: an attempt that
// is over (or a new one) is not the one adopted.
bool current(const BrokerLws &l)
{
    return l.client->attempt == l.watched_attempt && broker_client_socket(*l.client) >= 0;
}

// Watches the connection the client has now, asks lws to close the
// descriptor of one that is over (it can only be closed from its own
// callback), and sets the timer.
void sync(BrokerLws &l, int64_t now_us)
{
    BrokerClient &c = *l.client;
    const int fd = broker_client_socket(c);
    if (l.watch.wsi == nullptr && fd >= 0) {
        if (!lws_watch_adopt(l.watch, fcntl(fd, F_DUPFD_CLOEXEC, 0))) {
            broker_client_report(c, "cannot watch the broker connection");
            broker_client_drop(c, now_us, MOSQ_ERR_NOMEM);
        } else {
            l.watched_attempt = c.attempt;
            lws_watch_writable(l.watch); // the CONNECT packet may wait
        }
    } else if (!current(l) || broker_client_wants_write(c)) {
        // Bytes to write, or a finished connection to close (the next one
        // waits for that).
        lws_watch_writable(l.watch);
    }
    lws_watch_schedule(l.watch, broker_client_deadline(c, now_us) - now_us);
}

int on_event(LwsWatch &w, LwsWatchEvent e)
{
    BrokerLws &l = *static_cast<BrokerLws *>(w.owner);
    const int64_t now = broker_now_us();
    if (e == LwsWatchEvent::Timer) {
        broker_client_tick(*l.client, now);
    } else if (e == LwsWatchEvent::Closed) {
        // Closed under the client (a hang-up lws saw first): over too.
        if (current(l))
            broker_client_drop(*l.client, now, MOSQ_ERR_CONN_LOST);
    } else {
        if (w.stopping || !current(l))
            return -1;
        broker_client_io(*l.client, e == LwsWatchEvent::Readable, e == LwsWatchEvent::Writable,
                         now);
        if (!current(l))
            return -1;
    }
    sync(l, now);
    return 0;
}

} // namespace

void broker_lws_start(BrokerLws &l, BrokerClient &c, struct lws_context *context,
                      struct lws_vhost *vhost)
{
    l.client = &c;
    lws_watch_init(l.watch, on_event, &l, context, vhost);
    lws_watch_schedule(l.watch, 0);
}

void broker_lws_stop(BrokerLws &l)
{
    if (l.client == nullptr)
        return; // never started
    lws_watch_stop(l.watch);
    broker_client_stop(*l.client);
}

void broker_lws_flush(BrokerLws &l)
{
    lws_watch_writable(l.watch);
}
