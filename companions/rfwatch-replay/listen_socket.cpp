// SPDX-License-Identifier: MIT
#include "listen_socket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

// rfwatchd's own backlog: clients connect one at a time.
constexpr int BACKLOG = 16;

bool address_of(const char *path, sockaddr_un &addr)
{
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    const size_t len = strlen(path);
    if (len == 0 || len >= sizeof addr.sun_path)
        return false;
    memcpy(addr.sun_path, path, len + 1);
    return true;
}

// Whether a program accepts connections on the socket file at addr. A
// socket file nobody listens on refuses at once (ECONNREFUSED).
bool answers(const sockaddr_un &addr)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool live = connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0 ||
                      errno == EAGAIN; // a full backlog: alive, only busy
    close(fd);
    return live;
}

} // namespace

ListenResult listen_socket_open(ListenSocket &s, const char *path)
{
    sockaddr_un addr{};
    if (!address_of(path, addr))
        return ListenResult::TooLong;
    struct stat st {
    };
    if (lstat(path, &st) == 0) {
        if (!S_ISSOCK(st.st_mode))
            return ListenResult::NotSocket;
        if (answers(addr))
            return ListenResult::Live;
        unlink(path); // stale: its program is gone
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ListenResult::Failed;
    if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0 ||
        listen(fd, BACKLOG) != 0 || lstat(path, &st) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return ListenResult::Failed;
    }
    s.fd = fd;
    s.path = path;
    s.inode = st.st_ino;
    return ListenResult::Ok;
}

void listen_socket_close(ListenSocket &s)
{
    if (s.fd < 0)
        return;
    struct stat st {
    };
    if (lstat(s.path.c_str(), &st) == 0 && st.st_ino == s.inode && S_ISSOCK(st.st_mode))
        unlink(s.path.c_str());
    close(s.fd);
    s.fd = -1;
}

const char *listen_result_text(ListenResult r)
{
    switch (r) {
    case ListenResult::Ok:
        return "listening";
    case ListenResult::TooLong:
        return "the path is too long for a Unix socket";
    case ListenResult::Live:
        return "a program is serving it (rfwatchd or another replay); not taken";
    case ListenResult::NotSocket:
        return "a file that is not a socket is there; not replaced";
    case ListenResult::Failed:
        break;
    }
    return strerror(errno);
}
