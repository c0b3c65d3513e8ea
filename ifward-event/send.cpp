// SPDX-License-Identifier: MIT
#include "send.h"

#include "guards.h"
#include "log.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

static_assert(sizeof(IFWARD_SOCKET_PATH) <= sizeof(sockaddr_un::sun_path));
// The daemon side was written against the full structure's length.
static_assert(sizeof(sockaddr_un) == 110);

int datagram_socket_open()
{
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        log_error_errno("socket() failed");
    return fd;
}

bool datagram_socket_send(int fd, std::span<const std::byte> bytes)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, IFWARD_SOCKET_PATH, sizeof(addr.sun_path) - 1);
    ssize_t n = sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&addr),
                       sizeof(addr));
    if (n >= 0)
        return true;
    if (errno == ENOENT)
        log_error("ifward socket not found. Is ifward running?");
    else if (errno == ECONNREFUSED)
        log_error("Connection refused. Is ifward running?");
    else
        log_error_errno("sendto() failed");
    return false;
}

bool send_datagram(std::span<const std::byte> bytes)
{
    FdGuard sock(datagram_socket_open());
    return sock.get() >= 0 && datagram_socket_send(sock.get(), bytes);
}
