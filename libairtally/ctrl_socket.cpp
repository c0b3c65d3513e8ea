// SPDX-License-Identifier: MIT
#include "ctrl_socket.h"

#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace airtally
{

int ctrl_connect(CtrlPart *ctrl, const char *path)
{
    if (access(path, F_OK) != 0) {
        std::fprintf(stderr, "Ctrl socket path %s non-existant\n", path);
        return -1;
    }
    std::memset(ctrl->peer.sun_path, 0, sizeof(ctrl->peer.sun_path));
    std::strncpy(ctrl->peer.sun_path, path, sizeof(ctrl->peer.sun_path) - 1);
    if (connect(ctrl->fd, reinterpret_cast<const sockaddr *>(&ctrl->peer), sizeof(sockaddr_un)) !=
        0) {
        perror("connect");
        return -1;
    }
    return 0;
}

void ctrl_request(CtrlPart *ctrl, const char *cmd, char *reply, size_t size)
{
    reply[0] = '\0';
    // A daemon that answered after an earlier request timed out left its
    // reply queued here; it must not pass for the answer to this one.
    // (Reconnecting to another daemon purges the queue, asking the same
    // one again does not.)
    while (recv(ctrl->fd, reply, size, MSG_DONTWAIT) >= 0) {
    }
    reply[0] = '\0';
    // Before sending: without its time-out the receive could wait for ever
    // on a daemon that never answers, and nothing is asked that would not
    // be waited for.
    timeval tv{};
    tv.tv_sec = kCtrlReplyTimeoutSec;
    tv.tv_usec = 0;
    if (setsockopt(ctrl->fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) != 0) {
        perror("setsockopt");
        return;
    }
    if (send(ctrl->fd, cmd, std::strlen(cmd), 0) < 0) {
        perror("send");
        return;
    }
    ssize_t n = recv(ctrl->fd, reply, size - 1, 0);
    if (n < 0) {
        perror("recv");
        return;
    }
    reply[n] = '\0';
}

} // namespace airtally
