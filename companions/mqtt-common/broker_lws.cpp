#include "broker_lws.h"

#include <algorithm>
#include <fcntl.h>

namespace
{

// Whether wsi still watches the client's connection: an attempt that is
// over (or a new one) is not the one adopted.
bool current(const BrokerLws &l)
{
    return l.client->attempt == l.watched_attempt && broker_client_socket(*l.client) >= 0;
}

void on_timer(lws_sorted_usec_list_t *sul);

// Watches the connection the client has now, asks lws to close the
// descriptor of one that is over (it can only be closed from its own
// callback), and sets the timer.
void sync(BrokerLws &l, int64_t now_us)
{
    BrokerClient &c = *l.client;
    const int fd = broker_client_socket(c);
    if (l.wsi == nullptr && fd >= 0) {
        lws_sock_file_fd_type desc{};
        desc.filefd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        l.wsi = desc.filefd < 0 ? nullptr
                                : lws_adopt_descriptor_vhost(l.vhost, LWS_ADOPT_RAW_FILE_DESC, desc,
                                                             l.protocol, nullptr);
        if (l.wsi == nullptr) {
            broker_client_report(c, "cannot watch the broker connection");
            broker_client_drop(c, now_us, MOSQ_ERR_NOMEM);
        } else {
            l.watched_attempt = c.attempt;
            lws_callback_on_writable(l.wsi); // the CONNECT packet may wait
        }
    } else if (l.wsi != nullptr && (!current(l) || broker_client_wants_write(c))) {
        // Bytes to write, or a finished connection to close (the next one
        // waits for that).
        lws_callback_on_writable(l.wsi);
    }
    const int64_t delay = std::max<int64_t>(0, broker_client_deadline(c, now_us) - now_us);
    lws_sul_schedule(l.context, 0, &l.timer.sul, on_timer, delay);
}

void on_timer(lws_sorted_usec_list_t *sul)
{
    BrokerLws &l = *lws_container_of(sul, BrokerLwsTimer, sul)->owner;
    if (l.stopping)
        return;
    const int64_t now = broker_now_us();
    broker_client_tick(*l.client, now);
    sync(l, now);
}

} // namespace

void broker_lws_start(BrokerLws &l, BrokerClient &c, struct lws_context *context,
                      struct lws_vhost *vhost, const char *protocol)
{
    l.client = &c;
    l.vhost = vhost;
    l.context = context;
    l.protocol = protocol;
    l.timer = {{}, &l};
    l.stopping = false;
    lws_sul_schedule(l.context, 0, &l.timer.sul, on_timer, 0);
}

void broker_lws_stop(BrokerLws &l)
{
    if (l.client == nullptr)
        return; // never started
    l.stopping = true;
    lws_sul_cancel(&l.timer.sul);
    broker_client_stop(*l.client);
}

void broker_lws_flush(BrokerLws &l)
{
    if (l.wsi != nullptr)
        lws_callback_on_writable(l.wsi);
}

int broker_lws_callback(BrokerLws &l, enum lws_callback_reasons reason)
{
    const bool readable = reason == LWS_CALLBACK_RAW_RX_FILE;
    const bool writable = reason == LWS_CALLBACK_RAW_WRITEABLE_FILE;
    const int64_t now = broker_now_us();
    if (reason == LWS_CALLBACK_RAW_CLOSE_FILE) {
        l.wsi = nullptr;
        if (l.stopping)
            return 0;
        // Closed under the client (a hang-up lws saw first): over too.
        if (current(l))
            broker_client_drop(*l.client, now, MOSQ_ERR_CONN_LOST);
        sync(l, now);
        return 0;
    }
    if (!readable && !writable)
        return 0;
    if (l.stopping || !current(l))
        return -1;
    broker_client_io(*l.client, readable, writable, now);
    if (!current(l))
        return -1;
    sync(l, now);
    return 0;
}
