// SPDX-License-Identifier: MIT
#include "replay_clients.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// Bytes sent, or -1 for nothing now (a full socket), -2 for a broken one.
ssize_t send_some(int fd, std::string_view bytes)
{
    for (;;) {
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

} // namespace

bool clients_add(ReplayClients &c, int fd)
{
    if (c.count == c.slot.size())
        return false;
    c.slot[c.count] = ReplayClient{};
    c.slot[c.count].fd = fd;
    c.count++;
    return true;
}

void clients_remove(ReplayClients &c, size_t i)
{
    close(c.slot[i].fd);
    c.count--;
    if (i != c.count)
        c.slot[i] = std::move(c.slot[c.count]);
    c.slot[c.count] = ReplayClient{};
}

bool client_flush(ReplayClient &client)
{
    if (client.pending.empty())
        return true;
    const ssize_t n = send_some(client.fd, client.pending);
    if (n == -2)
        return false;
    if (n > 0)
        client.pending.erase(0, static_cast<size_t>(n));
    return true;
}

Offer client_offer(ReplayClient &client, std::string_view line)
{
    if (!client_flush(client))
        return Offer::Broken;
    if (!client.pending.empty()) {
        client.missed++;
        client.missed_total++;
        return Offer::Missed;
    }
    const ssize_t n = send_some(client.fd, line);
    if (n == -2)
        return Offer::Broken;
    if (n <= 0) {
        client.missed++;
        client.missed_total++;
        return Offer::Missed;
    }
    if (static_cast<size_t>(n) == line.size())
        return Offer::Sent;
    client.pending.assign(line.substr(static_cast<size_t>(n)));
    return Offer::Cut;
}
