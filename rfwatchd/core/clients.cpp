// SPDX-License-Identifier: MIT
#include "core/clients.h"

#include "base/clock.h"
#include "base/log.h"
#include "core/client_writer.h"
#include "core/commands.h"

#include <algorithm>
#include <cJSON.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

Client *client_of(ClientLink *link)
{
    return reinterpret_cast<Client *>(reinterpret_cast<char *>(link) - offsetof(Client, links));
}

// A server that was never set up has null links; treat it as empty.
bool list_empty(const Server &server)
{
    return !server.clients.next || server.clients.next == &server.clients;
}

struct WriterContext {
    Client *client;
    bool dropped;            // set when the writer gave the client up
    uint32_t wait_budget_ms; // what this flush may still wait on the client
};

// The consumer of aggregate_flush: one JSON text per call, sent as a line.
bool write_line(void *context, char *text)
{
    auto *ctx = static_cast<WriterContext *>(context);
    if (!text) {
        log_text("Failed to convert aggregated sample to JSON\n");
        return true;
    }
    int err = 0;
    LineWrite r = write_client_line(ctx->client->socket, text, &ctx->wait_budget_ms, &err);
    cJSON_free(text);
    if (client_line_kept(r, ctx->client->socket, err))
        return true;
    ctx->dropped = true;
    return false;
}

// Failures of accept that last until descriptors or memory are freed.
bool out_of_descriptors(int err)
{
    return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}

// A client no longer read whose socket reports an error, not a hang-up:
// polling it again would report the same at once, so it is given up.
void client_failed(Server &server, Client *c)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(c->socket, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        err = errno;
    log_text("Client %d connection error: %s\n", c->socket, strerror(err));
    drop_client(server, c);
}

} // namespace

void client_list_init(Server &server)
{
    server.clients.prev = server.clients.next = &server.clients;
    server.client_count = 0;
}

Client *first_client(Server &server)
{
    return list_empty(server) ? nullptr : client_of(server.clients.next);
}

Client *next_client(Server &server, Client *client)
{
    ClientLink *n = client->links.next;
    return n == &server.clients ? nullptr : client_of(n);
}

int accept_client(Server &server)
{
    // Non-blocking, so that a client that stops reading cannot hold up the
    // loop (the writer waits only a bounded time for room).
    int fd = accept4(server.listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (out_of_descriptors(err)) {
            server.accept_resume_ms = monotonic_ms() + ACCEPT_BACKOFF_MS;
            if (server.accept_failing)
                return -1; // said once for the whole episode
            server.accept_failing = 1;
        }
        log_text("Accept error: %s\n", strerror(err));
        return -1;
    }
    server.accept_failing = 0;
    if (server.client_count >= MAX_CLIENTS) {
        // Closed at once, so the peer sees the refusal instead of waiting
        // in the backlog.
        close(fd);
        if (!server.refusing_clients)
            log_text("Client limit of %d reached, refusing connections\n", MAX_CLIENTS);
        server.refusing_clients = 1;
        return -1;
    }
    server.refusing_clients = 0;
    // Both aggregates are allocated here, once, zeroed: nothing in a client
    // grows afterwards. Straight from mmap, whose pages are zero until
    // touched, so a client costs only the slots it uses (calloc may clear
    // all 2 MB of a reused heap block).
    void *mem =
        mmap(nullptr, sizeof(Client), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    // Huge pages would make the first touched slot cost 2 MB after all.
    if (mem != MAP_FAILED)
        madvise(mem, sizeof(Client), MADV_NOHUGEPAGE);
    auto *client = mem == MAP_FAILED ? nullptr : static_cast<Client *>(mem);
    if (!client) {
        log_text("Failed to allocate client\n");
        close(fd);
        return -1;
    }
    client->socket = fd;
    uint64_t now = monotonic_ms();
    for (SampleAggregate &a : client->aggregates) {
        a.period_ms = DEFAULT_PERIOD_MS;
        a.last_flush_ms = now;
    }
    client->links.prev = server.clients.prev;
    client->links.next = &server.clients;
    server.clients.prev->next = &client->links;
    server.clients.prev = &client->links;
    server.client_count++;
    return 0;
}

void drop_client(Server &server, Client *client)
{
    client->links.prev->next = client->links.next;
    client->links.next->prev = client->links.prev;
    close(client->socket);
    client_air_release(server, *client);
    server.client_count--;
    munmap(client, sizeof(Client));
}

void drop_all_clients(Server &server)
{
    while (Client *c = first_client(server))
        drop_client(server, c);
}

void poll_clients(Server &server, int timeout_ms)
{
    // Every client is polled: its commands and its hang-up are seen
    // whatever its place in the list.
    pollfd set[1 + MAX_CLIENTS];
    Client *owner[1 + MAX_CLIENTS];
    nfds_t n = 0;
    bool listening = monotonic_ms() >= server.accept_resume_ms;
    if (listening) {
        owner[n] = nullptr;
        set[n++] = {server.listen_fd, POLLIN, 0};
    }
    for (Client *c = first_client(server); c && n < std::size(set); c = next_client(server, c)) {
        owner[n] = c;
        // Hang-up and error are reported whatever is asked for.
        set[n++] = {c->socket, static_cast<short>(c->input_closed ? 0 : POLLIN), 0};
    }

    int r = poll(set, n, timeout_ms);
    if (r < 0) {
        log_text("Poll error: %s\n", strerror(errno));
        return;
    }
    if (r == 0)
        return;
    if (listening && (set[0].revents & POLLIN))
        accept_client(server);
    // Each entry's client is dropped only at its own entry, so the owners
    // of later entries are still there.
    for (nfds_t i = listening ? 1 : 0; i < n; i++) {
        Client *c = owner[i];
        short ev = set[i].revents;
        if (ev & POLLHUP) {
            log_text("Client disconnected (POLLHUP)\n");
            drop_client(server, c);
        } else if (!c->input_closed && (ev & (POLLIN | POLLERR))) {
            switch (handle_client_command(server, *c)) {
            case ClientVerdict::Keep:
                break;
            case ClientVerdict::StopReading:
                c->input_closed = 1;
                break;
            case ClientVerdict::Drop:
                drop_client(server, c);
                break;
            }
        } else if (ev & (POLLERR | POLLNVAL)) {
            client_failed(server, c);
        }
    }
}

uint64_t next_flush_ms(Server &server)
{
    uint64_t due = UINT64_MAX;
    for (Client *c = first_client(server); c; c = next_client(server, c)) {
        for (const SampleAggregate &a : c->aggregates)
            due = std::min(due, a.last_flush_ms + a.period_ms);
        due = std::min(due, client_air_due(*c));
    }
    return due;
}

int flush_clients(Server &server)
{
    uint64_t now = monotonic_ms();
    Client *c = first_client(server);
    while (c) {
        Client *next = next_client(server, c);
        WriterContext ctx{c, false, WRITE_STALL_LIMIT_MS};
        for (SampleAggregate &a : c->aggregates)
            if (!aggregate_flush(a, now, write_line, &ctx))
                break;
        // After the spectrum lines, on the same stall budget.
        if (!ctx.dropped && !client_air_flush(server, *c, now, &ctx.wait_budget_ms))
            ctx.dropped = true;
        if (ctx.dropped)
            drop_client(server, c);
        c = next;
    }
    return 0;
}
